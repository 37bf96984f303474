"""The package's import graph: each layer imports only from the layers below it, no module imports itself back
through others, and the compiled core has one face."""

import ast
from pathlib import Path

import pytest

PACKAGE = Path(__file__).resolve().parents[2] / "python" / "zorv_pp"

# Bottom first; a module may import from its own layer and those before it.
LAYERS = [
    ("errors", "flags", "diagnostics", "units", "rounding", "files", "_native"),
    ("properties",),
    ("run",),
    ("msdfit", "synthetic", "ordern"),
    ("analysis",),
    ("campaign", "figures"),
    ("output",),
    ("command",),
    ("koh",),
    ("cli", "__main__"),
]
LAYER = {name: level for level, names in enumerate(LAYERS) for name in names}


def module_name(path):
    parts = list(path.relative_to(PACKAGE).with_suffix("").parts)
    if parts[-1] == "__init__":
        parts.pop()
    return ".".join(["zorv_pp", *parts])


def imports(path):
    """Every zorv_pp module (or name of one) that ``path`` imports, resolved to absolute dotted names."""
    tree = ast.parse(path.read_text(), str(path))
    own = module_name(path)
    package = own if path.name == "__init__.py" else own.rpartition(".")[0]
    found = []
    for node in ast.walk(tree):
        if isinstance(node, ast.ImportFrom):
            if node.level:
                base = package.split(".")
                base = base[: len(base) - (node.level - 1)]
                target = ".".join(base + ([node.module] if node.module else []))
            else:
                target = node.module or ""
            found += [f"{target}.{alias.name}" for alias in node.names] if not node.module else [target]
        elif isinstance(node, ast.Import):
            found += [alias.name for alias in node.names]
    return found


MODULES = {module_name(p): p for p in sorted(PACKAGE.rglob("*.py"))}


def top(name):
    """The package's first-level part of a dotted name: the layer it belongs to."""
    return name.split(".")[1] if name.startswith("zorv_pp.") else None


@pytest.mark.parametrize("module", sorted(m for m in MODULES if m != "zorv_pp"))
def test_no_import_runs_back_up(module):
    assert top(module) in LAYER, f"{module}: its part of the package has no layer; give it one here"
    level = LAYER[top(module)]
    for target in imports(MODULES[module]):
        part = top(target)
        if part is None or part == "__version__":
            continue
        assert part in LAYER, f"{module} imports {target}, which has no layer"
        assert LAYER[part] <= level, f"{module} (layer {level}) imports {target} (layer {LAYER[part]})"


def test_only_the_face_imports_the_compiled_core():
    users = [m for m, p in MODULES.items() if any(t.split(".")[0] == "_zorv_pp" for t in imports(p))]
    assert users == ["zorv_pp._native"]


def test_no_module_imports_itself_back():
    graph = {m: {t for t in imports(p) if t in MODULES or t.rpartition(".")[0] in MODULES} for m, p in MODULES.items()}
    graph = {m: {t if t in MODULES else t.rpartition(".")[0] for t in ts} - {m} for m, ts in graph.items()}
    state = {}

    def visit(node, path):
        state[node] = "open"
        for nxt in graph.get(node, ()):
            if nxt == "zorv_pp" or nxt.endswith(".__init__"):
                continue  # the face re-exports names; it is no step of a loop
            assert state.get(nxt) != "open", " -> ".join([*path, nxt])
            if nxt not in state:
                visit(nxt, [*path, nxt])
        state[node] = "done"

    for node in graph:
        if node not in state:
            visit(node, [node])
