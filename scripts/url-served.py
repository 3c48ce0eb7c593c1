#!/usr/bin/env python3
"""url-served.py URL: exits 1 when the server answers a HEAD request for URL
with 404 (not there), 0 otherwise: served, or the server could not be asked,
in which case the download that follows tells."""
import sys
import urllib.error
import urllib.request

try:
    urllib.request.urlopen(urllib.request.Request(sys.argv[1], method="HEAD"), timeout=30)
except urllib.error.HTTPError as e:
    sys.exit(1 if e.code == 404 else 0)
except (urllib.error.URLError, OSError):
    pass
