"""Points a GNU ld image's load config directory at the program's _load_config_used, which
GNU ld 2.40 links in but leaves unnamed, and brings the header's checksum up to date.
Usage: set-load-config.py IMAGE.exe LINK.map"""
import re
import struct
import sys

LOAD_CONFIG = 10  # IMAGE_DIRECTORY_ENTRY_LOAD_CONFIG


def sections(image, nt):
    count = struct.unpack_from("<H", image, nt + 6)[0]
    first = nt + 24 + struct.unpack_from("<H", image, nt + 20)[0]
    for i in range(count):
        name, virtual_size, virtual_address, _, raw_offset = struct.unpack_from(
            "<8sIIII", image, first + 40 * i)
        yield name, virtual_address, virtual_size, raw_offset


image_path, map_path = sys.argv[1], sys.argv[2]
with open(map_path, encoding="utf-8", errors="replace") as f:
    found = re.findall(r"^\s+0x([0-9a-f]+)\s+_load_config_used$", f.read(), re.MULTILINE)
if len(found) != 1:
    sys.exit(f"set-load-config: {map_path} names _load_config_used {len(found)} times")
address = int(found[0], 16)

image = bytearray(open(image_path, "rb").read())
nt = struct.unpack_from("<I", image, 0x3C)[0]
optional = nt + 24
if struct.unpack_from("<H", image, optional)[0] != 0x10B:
    sys.exit("set-load-config: not a PE32 image")
image_base = struct.unpack_from("<I", image, optional + 28)[0]
directory = optional + 96 + 8 * LOAD_CONFIG
rva = address - image_base
# As lld does: the directory's size is the structure's own first field.
for name, virtual_address, virtual_size, raw_offset in sections(image, nt):
    if virtual_address <= rva < virtual_address + virtual_size:
        size = struct.unpack_from("<I", image, raw_offset + rva - virtual_address)[0]
        break
else:
    sys.exit("set-load-config: _load_config_used lies in no section")
struct.pack_into("<II", image, directory, rva, size)

# The checksum as the system's CheckSumMappedFile computes it, with its own field as zero.
checksum_at = optional + 64
struct.pack_into("<I", image, checksum_at, 0)
padded = image + b"\0" * (len(image) % 2)
total = 0
for (word,) in struct.iter_unpack("<H", padded):
    total += word
    total = (total & 0xFFFF) + (total >> 16)
struct.pack_into("<I", image, checksum_at, (total + len(image)) & 0xFFFFFFFF)

with open(image_path, "r+b") as f:
    f.write(image)
