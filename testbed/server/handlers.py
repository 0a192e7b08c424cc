"""Loads the content handlers of the testbed server: every module named
handler_*.py beside this file registers its paths with
kevo_testbed.register (and one of them may offer make_proxy_server)."""
import glob
import importlib
import os

make_proxy_server = None

for _path in sorted(glob.glob(os.path.join(os.path.dirname(os.path.abspath(__file__)), "handler_*.py"))):
    _module = importlib.import_module(os.path.basename(_path)[:-3])
    if hasattr(_module, "make_proxy_server"):
        make_proxy_server = _module.make_proxy_server
