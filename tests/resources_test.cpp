// The resources of the built uninstaller.exe, read through the system's own interfaces.
//
// The file is copied under another name first: Wine has a builtin program named uninstaller.exe,
// which the loader may pick instead of ours.
#include <gtest/gtest.h>
#include <string.h>
#include <windows.h>

#include <set>
#include <vector>

#include "support.h"

namespace {

class Resources : public ::testing::Test {
protected:
    void SetUp() override { copy_file(built_program("uninstaller.exe"), copy_); }

    // The activation context that the system makes from the copy's manifest.
    HANDLE activation_context() const
    {
        ACTCTXA context = {};
        context.cbSize = sizeof context;
        context.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
        context.lpSource = copy_.c_str();
        context.lpResourceName = MAKEINTRESOURCEA(1);
        return CreateActCtxA(&context);
    }

    TempFolder folder_;
    const std::string copy_ = folder_.file("launcher-under-test.exe");
};

// Every resource as "type:name:language".
struct Listing {
    HMODULE module;
    std::set<std::string> entries;
};

std::string id_text(LPCSTR id)
{
    return IS_INTRESOURCE(id) ? std::to_string((UINT_PTR)id) : std::string(id);
}

BOOL CALLBACK list_language(HMODULE, LPCSTR type, LPCSTR name, WORD language, LONG_PTR param)
{
    reinterpret_cast<Listing *>(param)->entries.insert(id_text(type) + ":" + id_text(name) + ":" +
                                                       std::to_string(language));
    return TRUE;
}

BOOL CALLBACK list_name(HMODULE module, LPCSTR type, LPSTR name, LONG_PTR param)
{
    EnumResourceLanguagesA(module, type, name, list_language, param);
    return TRUE;
}

BOOL CALLBACK list_type(HMODULE module, LPSTR type, LONG_PTR param)
{
    EnumResourceNamesA(module, type, list_name, param);
    return TRUE;
}

const WORD english_us = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

TEST_F(Resources, ExactlyTheManifestAndTheVersionBlock)
{
    HMODULE module = LoadLibraryExA(copy_.c_str(), NULL,
                                    LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(module, nullptr) << "error " << GetLastError();
    Listing listing = {module, {}};
    EnumResourceTypesA(module, list_type, reinterpret_cast<LONG_PTR>(&listing));
    EXPECT_EQ(listing.entries, (std::set<std::string>{"16:1:1033", "24:1:1033"}));

    HRSRC found = FindResourceExA(module, MAKEINTRESOURCEA(24), MAKEINTRESOURCEA(1), english_us);
    ASSERT_NE(found, nullptr);
    const char *data = static_cast<const char *>(LockResource(LoadResource(module, found)));
    const std::string embedded(data, SizeofResource(module, found));
    FreeLibrary(module);

    const std::string manifest = read_file(built_program("uninstaller.manifest"));
    ASSERT_FALSE(manifest.empty());
    EXPECT_EQ(embedded, manifest) << "the embedded manifest is not the one in resources/";
    EXPECT_NE(manifest.find("\r\n"), std::string::npos) << "line ends are not CR LF";
    EXPECT_EQ(manifest.find("\n", 0), manifest.find("\r\n") + 1);
}

TEST_F(Resources, VersionBlock)
{
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(copy_.c_str(), &ignored);
    ASSERT_GT(size, 0u) << "error " << GetLastError();
    std::vector<char> block(size);
    ASSERT_TRUE(GetFileVersionInfoA(copy_.c_str(), 0, size, block.data()));

    VS_FIXEDFILEINFO *fixed = NULL;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void **>(&fixed), &length));
    ASSERT_EQ(length, sizeof *fixed);
    static_assert(sizeof(VS_FIXEDFILEINFO) == 52, "VS_FIXEDFILEINFO");
    EXPECT_EQ(fixed->dwSignature, VS_FFI_SIGNATURE);
    EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(0, 1));
    EXPECT_EQ(fixed->dwFileVersionLS, 0u);
    EXPECT_EQ(fixed->dwProductVersionMS, MAKELONG(0, 1));
    EXPECT_EQ(fixed->dwProductVersionLS, 0u);
    EXPECT_EQ(fixed->dwFileFlagsMask, 0x3fu);
    EXPECT_EQ(fixed->dwFileFlags, 0u);
    EXPECT_EQ(fixed->dwFileOS, 0x40004u);
    EXPECT_EQ(fixed->dwFileType, 1u);
    EXPECT_EQ(fixed->dwFileSubtype, 0u);
    EXPECT_EQ(fixed->dwFileDateMS, 0u);
    EXPECT_EQ(fixed->dwFileDateLS, 0u);

    const struct {
        const char *key, *value;
    } strings[] = {
        {"CompanyName", "Halvorn"},
        {"FileDescription", "Orvex Uninstaller"},
        {"FileVersion", "1, 0, 0, 0"},
        {"InternalName", "uninstaller"},
        {"LegalCopyright", "Copyright (C) 2026 Halvorn"},
        {"OriginalFilename", "uninsatller.exe"},
        {"ProductName", "Orvex Uninstaller"},
        {"ProductVersion", "1, 0, 0, 0"},
    };
    for (const auto &s : strings) {
        SCOPED_TRACE(s.key);
        char *value = NULL;
        const std::string path = std::string("\\StringFileInfo\\040904b0\\") + s.key;
        ASSERT_TRUE(VerQueryValueA(block.data(), path.c_str(), reinterpret_cast<void **>(&value),
                                   &length));
        EXPECT_EQ(std::string(value), s.value);
    }

    WORD *translation = NULL;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\VarFileInfo\\Translation",
                               reinterpret_cast<void **>(&translation), &length));
    ASSERT_EQ(length, 4u);
    EXPECT_EQ(translation[0], 0x0409);
    EXPECT_EQ(translation[1], 0x04b0);
}

// Where the common controls come from for the current activation context. (Wine's DllGetVersion
// answers 5.81 from either copy, so the side-by-side folder is what tells version 6.)
std::string common_controls_file()
{
    HMODULE comctl = LoadLibraryA("comctl32.dll");
    if (comctl == NULL)
        return "";
    char path[MAX_PATH + 1] = "";
    GetModuleFileNameA(comctl, path, MAX_PATH);
    FreeLibrary(comctl);
    std::string file(path);
    CharLowerA(&file[0]);
    return file;
}

const char common_controls_6[] = "microsoft.windows.common-controls_6595b64144ccf1df_6.0.";

TEST_F(Resources, SystemAcceptsTheManifestAndGivesCommonControls6)
{
    const HANDLE handle = activation_context();
    ASSERT_NE(handle, INVALID_HANDLE_VALUE) << "manifest refused: error " << GetLastError();
    ULONG_PTR cookie = 0;
    ASSERT_TRUE(ActivateActCtx(handle, &cookie));
    const std::string in_context = common_controls_file();
    DeactivateActCtx(0, cookie);
    ReleaseActCtx(handle);

    EXPECT_NE(in_context.find(common_controls_6), std::string::npos) << in_context;
    const std::string outside = common_controls_file();
    EXPECT_EQ(outside.find(common_controls_6), std::string::npos)
        << "version 6 even without the manifest: " << outside;
}

// The manifest's windows settings as the system reads them: ANSI calls in UTF-8, so that the
// system's messages in any language and folders of any name reach the error box whole; and DPI
// awareness, so that the box is drawn sharp at the display's scale instead of stretched.
struct Setting {
    const wchar_t *name_space;
    const wchar_t *name;
    const wchar_t *value;
};

const Setting settings[] = {
    {L"http://schemas.microsoft.com/SMI/2019/WindowsSettings", L"activeCodePage", L"UTF-8"},
    // Per monitor v2 where it exists (Windows 10 1703), else per monitor (v1).
    {L"http://schemas.microsoft.com/SMI/2016/WindowsSettings", L"dpiAwareness",
     L"PerMonitorV2, PerMonitor"},
    // Before Windows 10 1607: per monitor from 8.1, system-wide before it.
    {L"http://schemas.microsoft.com/SMI/2005/WindowsSettings", L"dpiAware", L"true/pm"},
};

TEST_F(Resources, WindowsSettings)
{
    const HANDLE handle = activation_context();
    ASSERT_NE(handle, INVALID_HANDLE_VALUE) << "manifest refused: error " << GetLastError();

    typedef BOOL(WINAPI * QuerySettings)(DWORD, HANDLE, const WCHAR *, const WCHAR *, WCHAR *,
                                         SIZE_T, SIZE_T *);
    const QuerySettings query = reinterpret_cast<QuerySettings>(reinterpret_cast<void *>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "QueryActCtxSettingsW")));
    ASSERT_NE(query, nullptr);
    for (const Setting &setting : settings) {
        SCOPED_TRACE(narrow(setting.name));
        WCHAR value[64] = L"";
        SIZE_T written = 0;
        const BOOL found = query(/*flags=*/0, handle, setting.name_space, setting.name, value,
                                 64, &written);
        EXPECT_TRUE(found) << "not set: error " << GetLastError();
        EXPECT_EQ(narrow(value), narrow(setting.value));
    }
    ReleaseActCtx(handle);
}

// The file as the loader sees it: header fields and the DLLs it imports.
TEST_F(Resources, HeaderAndImports)
{
    const std::string image = read_file(copy_);
    ASSERT_GT(image.size(), sizeof(IMAGE_DOS_HEADER));
    const char *base = image.data();
    auto dos = reinterpret_cast<const IMAGE_DOS_HEADER *>(base);
    ASSERT_EQ(dos->e_magic, IMAGE_DOS_SIGNATURE);
    auto nt = reinterpret_cast<const IMAGE_NT_HEADERS32 *>(base + dos->e_lfanew);
    ASSERT_EQ(nt->Signature, IMAGE_NT_SIGNATURE);
    EXPECT_EQ(nt->FileHeader.Machine, IMAGE_FILE_MACHINE_I386);
    EXPECT_EQ(nt->OptionalHeader.Magic, IMAGE_NT_OPTIONAL_HDR32_MAGIC);
    EXPECT_EQ(nt->OptionalHeader.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);

    const IMAGE_SECTION_HEADER *sections = IMAGE_FIRST_SECTION(nt);
    auto at = [&](DWORD rva) -> const char * {
        for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i) {
            const IMAGE_SECTION_HEADER &s = sections[i];
            if (rva >= s.VirtualAddress && rva < s.VirtualAddress + s.SizeOfRawData)
                return base + s.PointerToRawData + (rva - s.VirtualAddress);
        }
        return NULL;
    };
    const DWORD imports_rva =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
    auto descriptor = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR *>(at(imports_rva));
    ASSERT_NE(descriptor, nullptr);
    std::set<std::string> dlls;
    for (; descriptor->Name != 0; ++descriptor) {
        std::string name = at(descriptor->Name);
        CharLowerA(&name[0]);
        dlls.insert(name);
    }
    // USER32, SHELL32 and OLE32 are loaded when first needed, not imported; NTDLL is in every
    // process already.
    EXPECT_EQ(dlls, (std::set<std::string>{"kernel32.dll", "msvcrt.dll", "ntdll.dll"}));
}

}  // namespace
