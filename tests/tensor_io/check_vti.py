# Reads a .vti file of cell fields (VTK XML image data, inline binary:
# base64 of a UInt64 byte count followed by the Float64 values) with the
# standard library alone, and prints "extent ...", "spacing ..." and one line
# "name v1 v2 ..." per array, values as repr (which reads back exactly).
import base64, struct, sys
import xml.etree.ElementTree as ET

root = ET.parse(sys.argv[1]).getroot()
assert root.get("type") == "ImageData" and root.get("header_type") == "UInt64", root.attrib
order = "<" if root.get("byte_order") == "LittleEndian" else ">"
image = root.find("ImageData")
print("extent", image.get("WholeExtent"))
print("spacing", *[repr(float(x)) for x in image.get("Spacing").split()])
assert image.find("Piece").get("Extent") == image.get("WholeExtent")
for a in image.find("Piece").find("CellData").findall("DataArray"):
    assert a.get("type") == "Float64" and a.get("format") == "binary", a.attrib
    raw = base64.b64decode(a.text.strip(), validate=True)
    (n,) = struct.unpack(order + "Q", raw[:8])
    assert n == len(raw) - 8, (n, len(raw))
    print(a.get("Name"), *[repr(v) for v in struct.unpack(order + "%dd" % (n // 8), raw[8:])])
