import os
import sys

# The suite runs against a freshly built module, not an installed one.
_module_dir = os.environ.get("ZORV_MODULE_DIR")
if _module_dir:
    sys.path.insert(0, _module_dir)
# ...and the Python package from the work tree.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "python"))


def pytest_configure(config):
    config.addinivalue_line("markers", "slow: long-running checks left out of the debug-interpreter run")
