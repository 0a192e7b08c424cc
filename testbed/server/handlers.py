"""Loads the content handlers of the testbed server: every module named
handler_*.py beside this file registers its paths with
kevo_testbed.register (and may offer make_proxy_server or
make_elsewhere_server for a listener of its own)."""
import glob
import importlib
import os

make_proxy_server = None
make_elsewhere_server = None

for _path in sorted(glob.glob(os.path.join(os.path.dirname(os.path.abspath(__file__)), "handler_*.py"))):
    _module = importlib.import_module(os.path.basename(_path)[:-3])
    if hasattr(_module, "make_proxy_server"):
        make_proxy_server = _module.make_proxy_server
    if hasattr(_module, "make_elsewhere_server"):
        make_elsewhere_server = _module.make_elsewhere_server
