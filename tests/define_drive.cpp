// Test helper for scripts, Wine only: gives a drive letter to a Unix folder through Wine's mount
// manager, as Wine's own configuration tool does, or takes it away. The manager reads the
// device's first sector, so a device file that starts with a FAT32 boot sector makes the drive
// report FAT32, without access lists, as a USB stick would on Windows.
// Usage: define-drive LETTER [UNIX_FOLDER UNIX_DEVICE]   (no folder: remove the drive)
#include <stdio.h>
#include <string.h>
#include <windows.h>
#include <winioctl.h>

namespace {

// Wine's own extension of the mount manager (include/ddk/mountmgr.h).
const DWORD define_unix_drive =
    CTL_CODE(0x6d /* 'm' */, 32, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS);

struct UnixDrive {
    ULONG size;
    ULONG type;
    ULONG fs_type;
    DWORD serial;
    ULONGLONG unix_dev;
    WCHAR letter;
    USHORT mount_point_offset;
    USHORT device_offset;
    USHORT label_offset;
};

} // namespace

int wmain(int argc, wchar_t **argv)
{
    if ((argc != 2 && argc != 4) || wcslen(argv[1]) != 1) {
        fputs("usage: define-drive LETTER [UNIX_FOLDER UNIX_DEVICE]\n", stderr);
        return 2;
    }
    static char buffer[sizeof(UnixDrive) + 2 * 4096];
    UnixDrive *drive = reinterpret_cast<UnixDrive *>(buffer);
    drive->letter = argv[1][0];
    drive->type = DRIVE_FIXED;
    size_t size = sizeof(UnixDrive);
    if (argc == 4) {
        // Unix paths, in the locale's encoding: UTF-8 under the tests.
        for (int i = 2; i < 4; ++i) {
            const int bytes = WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, buffer + size, 4096,
                                                  /*default_char=*/NULL, /*used_default=*/NULL);
            if (bytes == 0) {
                fputs("define-drive: path too long\n", stderr);
                return 2;
            }
            (i == 2 ? drive->mount_point_offset : drive->device_offset) = (USHORT)size;
            size += bytes;
        }
    }
    drive->size = (ULONG)size;

    HANDLE manager = CreateFileW(L"\\\\.\\MountPointManager", GENERIC_READ | GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, /*security=*/NULL,
                                 OPEN_EXISTING, 0, /*template=*/NULL);
    DWORD returned;
    if (manager == INVALID_HANDLE_VALUE ||
        !DeviceIoControl(manager, define_unix_drive, buffer, (DWORD)size, /*out=*/NULL, 0,
                         &returned, /*overlapped=*/NULL)) {
        fprintf(stderr, "define-drive: the mount manager refused (error %lu)\n", GetLastError());
        return 1;
    }
    CloseHandle(manager);
    return 0;
}
