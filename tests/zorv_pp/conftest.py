import os
import sys

# The tests here import their plain-Python references by module name.
sys.path.insert(0, os.path.dirname(__file__))
