"""Puts a table into docs/performance.md between its markers.

usage: put_table.py DOC MARK TABLE   (MARK: the name in <!-- MARK --> ... <!-- end of MARK -->)
"""
import sys

path, mark, table = sys.argv[1], sys.argv[2], sys.argv[3]
text = open(path).read()
start, end = "<!-- %s -->\n" % mark, "<!-- end of %s -->\n" % mark
head, rest = text.split(start, 1)
open(path, "w").write(head + start + table + "\n" + end + rest.split(end, 1)[1])
