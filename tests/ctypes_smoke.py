"""The C API from Python through ctypes, as a binding would call it: a table,
its view on a small map, and a failure with its status and message.

Usage: python3 tests/ctypes_smoke.py path/to/libvantrel.so.1
"""
import ctypes
import sys

OK = 0
INVALID_ARGUMENT = 1
TABLE_FILE_ERROR = 2


def load(path):
    lib = ctypes.CDLL(path)
    table_p = ctypes.c_void_p
    lib.vantrel_table_make.argtypes = [ctypes.c_int, ctypes.POINTER(table_p)]
    lib.vantrel_table_make.restype = ctypes.c_int
    lib.vantrel_table_line_count.argtypes = [table_p]
    lib.vantrel_table_line_count.restype = ctypes.c_size_t
    lib.vantrel_table_free.argtypes = [table_p]
    lib.vantrel_table_free.restype = None
    lib.vantrel_fov_new.argtypes = [table_p, ctypes.POINTER(ctypes.c_void_p)]
    lib.vantrel_fov_new.restype = ctypes.c_int
    lib.vantrel_fov_compute.argtypes = [
        ctypes.c_void_p, ctypes.c_int32, ctypes.c_int32, ctypes.c_int32, ctypes.c_int32,
        ctypes.c_char_p, ctypes.POINTER(ctypes.c_uint8)]
    lib.vantrel_fov_compute.restype = ctypes.c_int
    lib.vantrel_fov_free.argtypes = [ctypes.c_void_p]
    lib.vantrel_fov_free.restype = None
    lib.vantrel_table_file_from_bytes.argtypes = [
        ctypes.c_char_p, ctypes.c_size_t, ctypes.POINTER(ctypes.c_void_p)]
    lib.vantrel_table_file_from_bytes.restype = ctypes.c_int
    lib.vantrel_last_error.argtypes = []
    lib.vantrel_last_error.restype = ctypes.c_char_p
    lib.vantrel_status_text.argtypes = [ctypes.c_int]
    lib.vantrel_status_text.restype = ctypes.c_char_p
    return lib


def main():
    lib = load(sys.argv[1])
    failures = []

    def check(ok, what):
        if not ok:
            failures.append(f"{what} (last error: {lib.vantrel_last_error()!r})")

    table = ctypes.c_void_p()
    check(lib.vantrel_table_make(4, ctypes.byref(table)) == OK, "table 4 is made")
    check(lib.vantrel_table_line_count(table) == 6, "table 4 has 6 lines")
    fov = ctypes.c_void_p()
    check(lib.vantrel_fov_new(table, ctypes.byref(fov)) == OK, "its field of view is built")
    lib.vantrel_table_free(table)

    # A wall at x = 4 in a room of 9 x 5, the viewer at (2, 2).
    width, height = 9, 5
    opaque = bytes(1 if x == 4 else 0 for y in range(height) for x in range(width))
    in_view = (ctypes.c_uint8 * (width * height))()
    check(lib.vantrel_fov_compute(fov, 2, 2, width, height, opaque, in_view) == OK,
          "the view is computed")
    seen = lambda x, y: in_view[y * width + x]
    check(seen(2, 2) == 1 and seen(0, 2) == 1, "the viewer's row is seen")
    check(seen(4, 2) == 1, "the wall is seen")
    check(seen(5, 2) == 0 and seen(6, 0) == 0, "nothing behind the wall is")
    check(lib.vantrel_fov_compute(fov, 2, height, width, height, opaque, in_view)
          == INVALID_ARGUMENT and b"must stand on the map" in lib.vantrel_last_error(),
          "a viewer off the map is refused with a message")
    lib.vantrel_fov_free(fov)

    file = ctypes.c_void_p(1)
    check(lib.vantrel_table_file_from_bytes(b"GIF89a", 6, ctypes.byref(file))
          == TABLE_FILE_ERROR and not file.value, "bytes that are not a table file are refused")
    check(lib.vantrel_last_error()
          == b"table file: not a table file: it does not begin with [TABLEINFO]",
          "and the message says why")
    check(lib.vantrel_status_text(TABLE_FILE_ERROR) == b"table file error",
          "the status has its name")

    for failure in failures:
        print("FAILED:", failure)
    if not failures:
        print("ok")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
