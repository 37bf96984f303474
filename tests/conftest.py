import os
import sys

# The suite runs against a freshly built module, not an installed one.
_module_dir = os.environ.get("ZORV_MODULE_DIR")
if _module_dir:
    sys.path.insert(0, _module_dir)


def pytest_configure(config):
    config.addinivalue_line("markers", "slow: long-running checks left out of the debug-interpreter run")
