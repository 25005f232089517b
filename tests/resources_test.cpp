// The resources of the built uninstaller.exe, read through the system's own interfaces.
//
// The file is copied under another name first: Wine has a builtin program named uninstaller.exe,
// which the loader may pick instead of ours.
#include <gtest/gtest.h>
#include <string.h>
#include <windows.h>

#include <functional>
#include <set>
#include <sstream>
#include <vector>

#include "load_config.h"
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

// The built file as data, with what the hardening checks need to find in it.
struct PeImage {
    std::string bytes;
    const IMAGE_NT_HEADERS32 *nt = NULL;
    std::vector<IMAGE_SECTION_HEADER> sections;

    explicit PeImage(const std::string &path) : bytes(read_file(path))
    {
        if (bytes.size() < sizeof(IMAGE_DOS_HEADER))
            return;
        auto dos = reinterpret_cast<const IMAGE_DOS_HEADER *>(bytes.data());
        if (dos->e_magic != IMAGE_DOS_SIGNATURE ||
            dos->e_lfanew + sizeof(IMAGE_NT_HEADERS32) > bytes.size())
            return;
        nt = reinterpret_cast<const IMAGE_NT_HEADERS32 *>(bytes.data() + dos->e_lfanew);
        const IMAGE_SECTION_HEADER *first = IMAGE_FIRST_SECTION(nt);
        sections.assign(first, first + nt->FileHeader.NumberOfSections);
    }

    DWORD base() const { return nt->OptionalHeader.ImageBase; }
    WORD dll_characteristics() const { return nt->OptionalHeader.DllCharacteristics; }
    const IMAGE_DATA_DIRECTORY &directory(int entry) const
    {
        return nt->OptionalHeader.DataDirectory[entry];
    }

    const IMAGE_SECTION_HEADER *section_of(DWORD rva) const
    {
        for (const IMAGE_SECTION_HEADER &s : sections)
            if (rva >= s.VirtualAddress && rva < s.VirtualAddress + s.Misc.VirtualSize)
                return &s;
        return NULL;
    }
    // The file's bytes at an address, when there are size of them.
    const char *at(DWORD rva, DWORD size = 1) const
    {
        const IMAGE_SECTION_HEADER *s = section_of(rva);
        if (s == NULL || rva - s->VirtualAddress + size > s->SizeOfRawData)
            return NULL;
        return bytes.data() + s->PointerToRawData + (rva - s->VirtualAddress);
    }
    bool dword_at(DWORD rva, DWORD *value) const
    {
        const char *p = at(rva, sizeof *value);
        if (p != NULL)
            memcpy(value, p, sizeof *value);
        return p != NULL;
    }
    DWORD flags_of(DWORD rva) const
    {
        const IMAGE_SECTION_HEADER *s = section_of(rva);
        return s == NULL ? 0 : s->Characteristics;
    }

    // The load config, when the directory names one whose fields reach the given size.
    const LoadConfig32 *load_config(DWORD size_needed) const
    {
        const IMAGE_DATA_DIRECTORY &d = directory(IMAGE_DIRECTORY_ENTRY_LOAD_CONFIG);
        const char *p = d.VirtualAddress == 0 ? NULL : at(d.VirtualAddress, size_needed);
        if (p == NULL)
            return NULL;
        auto config = reinterpret_cast<const LoadConfig32 *>(p);
        return config->base.Size >= size_needed ? config : NULL;
    }

    // Where the loader adds the image's relocation, as addresses.
    std::vector<DWORD> relocated_places() const
    {
        std::vector<DWORD> places;
        const IMAGE_DATA_DIRECTORY &d = directory(IMAGE_DIRECTORY_ENTRY_BASERELOC);
        DWORD offset = 0;
        while (offset + sizeof(IMAGE_BASE_RELOCATION) <= d.Size) {
            auto block = reinterpret_cast<const IMAGE_BASE_RELOCATION *>(
                at(d.VirtualAddress + offset, sizeof(IMAGE_BASE_RELOCATION)));
            if (block == NULL || block->SizeOfBlock < sizeof *block)
                break;
            auto entries = reinterpret_cast<const WORD *>(
                at(d.VirtualAddress + offset, block->SizeOfBlock));
            if (entries == NULL)
                break;
            const DWORD count = (block->SizeOfBlock - sizeof *block) / sizeof(WORD);
            for (DWORD i = 0; i < count; ++i) {
                const WORD entry = entries[sizeof *block / sizeof(WORD) + i];
                if (entry >> 12 == IMAGE_REL_BASED_HIGHLOW)
                    places.push_back(block->VirtualAddress + (entry & 0xfff));
            }
            offset += block->SizeOfBlock;
        }
        return places;
    }

    // How many places in code hold the address va, or the address of a pointer to it (as
    // Clang reaches a variable that another module could define).
    int code_references_to(DWORD va) const
    {
        const std::vector<DWORD> places = relocated_places();
        std::set<DWORD> pointers{va};
        for (DWORD place : places) {
            DWORD value = 0;
            if (!(flags_of(place) & IMAGE_SCN_MEM_EXECUTE) && dword_at(place, &value) &&
                value == va)
                pointers.insert(base() + place);
        }
        int found = 0;
        for (DWORD place : places) {
            DWORD value = 0;
            if ((flags_of(place) & IMAGE_SCN_MEM_EXECUTE) && dword_at(place, &value) &&
                pointers.count(value))
                ++found;
        }
        return found;
    }
};

// A row of the table: what a reviewer's checker looks for, where in the file it is read, and
// what it must be. check says what it found when that is not what is expected.
struct Property {
    const char *property;
    const char *where;
    const char *expected;
    std::function<bool(const PeImage &, std::ostream &)> check;
};

bool has_dll_characteristic(const PeImage &image, WORD flag, std::ostream &found)
{
    found << "DllCharacteristics 0x" << std::hex << image.dll_characteristics();
    return (image.dll_characteristics() & flag) == flag;
}

// The ways x86 code stores to fs:[0], the head of the thread's SEH frame list: mov from eax, mov
// from another register, pop.
bool writes_seh_frame(const char *code, size_t size, size_t *offset)
{
    static const unsigned char zero[4] = {};
    for (size_t i = 0; i + 7 <= size; ++i) {
        const auto *b = reinterpret_cast<const unsigned char *>(code + i);
        if (b[0] != 0x64)  // fs:
            continue;
        const bool mov_eax = b[1] == 0xa3 && memcmp(b + 2, zero, 4) == 0;
        // ModRM with mod 00 and r/m 101: a 32-bit address follows.
        const bool mov_or_pop = (b[1] == 0x89 || b[1] == 0x8f) && (b[2] & 0xc7) == 0x05 &&
                                memcmp(b + 3, zero, 4) == 0;
        if (mov_eax || mov_or_pop) {
            *offset = i;
            return true;
        }
    }
    return false;
}

// The scan above, both ways round: the stores that register a frame, and reads and other
// addresses that do not.
TEST(SehFrameScan, FindsStoresToFsZeroOnly)
{
    const struct {
        const char *code;  // bytes, as the disassembler shows them
        bool found;
    } cases[] = {
        {"\x64\x89\x25\x00\x00\x00\x00", true},      // mov fs:[0], esp
        {"\x64\xa3\x00\x00\x00\x00\x90", true},      // mov fs:[0], eax
        {"\x64\x89\x0d\x00\x00\x00\x00", true},      // mov fs:[0], ecx
        {"\x64\x8f\x05\x00\x00\x00\x00", true},      // pop fs:[0]
        {"\x64\xa1\x18\x00\x00\x00\x90", false},     // mov eax, fs:[0x18] (the TEB)
        {"\x64\xa1\x00\x00\x00\x00\x90", false},     // mov eax, fs:[0]: a read
        {"\x64\x89\x25\x04\x00\x00\x00", false},     // mov fs:[4], esp
        {"\x89\x25\x00\x00\x00\x00\x90", false},     // mov [0], esp: no fs
    };
    for (const auto &c : cases) {
        size_t offset = 99;
        EXPECT_EQ(writes_seh_frame(c.code, 7, &offset), c.found)
            << testing::PrintToString(std::string(c.code, 7));
        if (c.found) {
            EXPECT_EQ(offset, 0u);
        }
    }
}

#ifdef ORVEX_GUARD_CF
const bool guard_cf = true;
#else
const bool guard_cf = false;
#endif
const DWORD guard_cf_flags = IMAGE_GUARD_CF_INSTRUMENTED | IMAGE_GUARD_CF_FUNCTION_TABLE_PRESENT;

// Whether no section has all of flags; names those that do.
bool no_section_with(const PeImage &image, DWORD flags, std::ostream &found)
{
    bool good = true;
    for (const IMAGE_SECTION_HEADER &s : image.sections)
        if ((s.Characteristics & flags) == flags) {
            found << std::string(reinterpret_cast<const char *>(s.Name), 8).c_str() << " ";
            good = false;
        }
    return good;
}

const Property hardening[] = {
    {"ASLR", "DllCharacteristics", "DYNAMIC_BASE",
     [](const PeImage &image, std::ostream &found) {
         return has_dll_characteristic(image, IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE, found);
     }},
    {"ASLR: relocations kept", "Characteristics; base relocation directory",
     "no RELOCS_STRIPPED; relocations present",
     [](const PeImage &image, std::ostream &found) {
         found << "Characteristics 0x" << std::hex << image.nt->FileHeader.Characteristics
               << ", " << std::dec << image.relocated_places().size() << " relocations";
         return !(image.nt->FileHeader.Characteristics & IMAGE_FILE_RELOCS_STRIPPED) &&
                !image.relocated_places().empty();
     }},
    {"DEP", "DllCharacteristics", "NX_COMPAT",
     [](const PeImage &image, std::ostream &found) {
         return has_dll_characteristic(image, IMAGE_DLLCHARACTERISTICS_NX_COMPAT, found);
     }},
    {"terminal server aware", "DllCharacteristics", "TERMINAL_SERVER_AWARE",
     [](const PeImage &image, std::ostream &found) {
         return has_dll_characteristic(image, IMAGE_DLLCHARACTERISTICS_TERMINAL_SERVER_AWARE,
                                       found);
     }},
    {"Vista as the oldest system", "Major/MinorOperatingSystemVersion, Major/MinorSubsystemVersion",
     "6.0 and 6.0",
     [](const PeImage &image, std::ostream &found) {
         const IMAGE_OPTIONAL_HEADER32 &o = image.nt->OptionalHeader;
         found << o.MajorOperatingSystemVersion << "." << o.MinorOperatingSystemVersion << " and "
               << o.MajorSubsystemVersion << "." << o.MinorSubsystemVersion;
         return o.MajorOperatingSystemVersion == 6 && o.MinorOperatingSystemVersion == 0 &&
                o.MajorSubsystemVersion == 6 && o.MinorSubsystemVersion == 0;
     }},
    {"no SEH handlers", "DllCharacteristics", "NO_SEH",
     [](const PeImage &image, std::ostream &found) {
         return has_dll_characteristic(image, IMAGE_DLLCHARACTERISTICS_NO_SEH, found);
     }},
    {"no SEH frame registered", "executable sections' code", "no store to fs:[0]",
     [](const PeImage &image, std::ostream &found) {
         for (const IMAGE_SECTION_HEADER &s : image.sections) {
             size_t offset = 0;
             if ((s.Characteristics & IMAGE_SCN_MEM_EXECUTE) &&
                 writes_seh_frame(image.bytes.data() + s.PointerToRawData, s.SizeOfRawData,
                                  &offset)) {
                 found << "a store at RVA 0x" << std::hex << s.VirtualAddress + offset;
                 return false;
             }
         }
         return true;
     }},
    {"load config", "load config directory; its Size field",
     "present, as long as the directory says, through the guard fields",
     [](const PeImage &image, std::ostream &found) {
         const IMAGE_DATA_DIRECTORY &d = image.directory(IMAGE_DIRECTORY_ENTRY_LOAD_CONFIG);
         found << "directory at 0x" << std::hex << d.VirtualAddress << ", size 0x" << d.Size;
         const LoadConfig32 *config = image.load_config(sizeof(LoadConfig32));
         return config != NULL && config->base.Size == d.Size;
     }},
    {"stack cookie for the loader to randomise", "load config SecurityCookie -> its value",
     "0xBB40E64E, in a writable, non-executable section",
     [](const PeImage &image, std::ostream &found) {
         const LoadConfig32 *config = image.load_config(sizeof(LoadConfig32));
         DWORD value = 0;
         if (config == NULL || !image.dword_at(config->base.SecurityCookie - image.base(), &value))
             return found << "no cookie", false;
         const DWORD flags = image.flags_of(config->base.SecurityCookie - image.base());
         found << "0x" << std::hex << value << ", section flags 0x" << flags;
         return value == default_security_cookie && (flags & IMAGE_SCN_MEM_WRITE) &&
                !(flags & IMAGE_SCN_MEM_EXECUTE);
     }},
    {"stack protection uses that cookie", "code's relocations -> SecurityCookie",
     "code reads it",
     [](const PeImage &image, std::ostream &found) {
         const LoadConfig32 *config = image.load_config(sizeof(LoadConfig32));
         if (config == NULL)
             return found << "no cookie", false;
         const int references = image.code_references_to(config->base.SecurityCookie);
         found << references << " places in code";
         return references > 0;
     }},
    {"no SafeSEH table beside NO_SEH", "load config SEHandlerTable, SEHandlerCount", "0 and 0",
     [](const PeImage &image, std::ostream &found) {
         const LoadConfig32 *config = image.load_config(sizeof(LoadConfig32));
         if (config == NULL)
             return found << "no load config", false;
         found << config->base.SEHandlerTable << " and " << config->base.SEHandlerCount;
         return config->base.SEHandlerTable == 0 && config->base.SEHandlerCount == 0;
     }},
    {"Control Flow Guard", "DllCharacteristics; load config GuardFlags",
     guard_cf ? "GUARD_CF; CF_INSTRUMENTED, FUNCTION_TABLE_PRESENT"
              : "neither (GCC builds no guard)",
     [](const PeImage &image, std::ostream &found) {
         const LoadConfig32 *config = image.load_config(sizeof(LoadConfig32));
         const DWORD flags = config == NULL ? 0 : config->GuardFlags;
         const bool flag = has_dll_characteristic(image, IMAGE_DLLCHARACTERISTICS_GUARD_CF, found);
         found << ", GuardFlags 0x" << std::hex << flags;
         return guard_cf ? flag && (flags & guard_cf_flags) == guard_cf_flags : !flag && flags == 0;
     }},
    {"Control Flow Guard's function table", "load config GuardCFFunctionTable, Count",
     guard_cf ? "entries, each in code" : "none",
     [](const PeImage &image, std::ostream &found) {
         const LoadConfig32 *config = image.load_config(sizeof(LoadConfig32));
         if (config == NULL)
             return found << "no load config", !guard_cf;
         found << config->GuardCFFunctionCount << " entries";
         if (!guard_cf)
             return config->GuardCFFunctionCount == 0;
         // Each entry an address, and as many extra bytes as GuardFlags' top four bits say.
         const DWORD stride = sizeof(DWORD) + (config->GuardFlags >> 28);
         const DWORD table = config->GuardCFFunctionTable - image.base();
         for (DWORD i = 0; i < config->GuardCFFunctionCount; ++i) {
             DWORD function = 0;
             if (!image.dword_at(table + i * stride, &function) ||
                 !(image.flags_of(function) & IMAGE_SCN_MEM_EXECUTE))
                 return found << ", entry " << i << " is not in code", false;
         }
         return config->GuardCFFunctionCount > 0;
     }},
    {"Control Flow Guard's check", "load config GuardCFCheckFunctionPointer",
     guard_cf ? "read-only, and code calls through it" : "none",
     [](const PeImage &image, std::ostream &found) {
         const LoadConfig32 *config = image.load_config(sizeof(LoadConfig32));
         const DWORD pointer = config == NULL ? 0 : config->GuardCFCheckFunctionPointer;
         if (!guard_cf)
             return found << "0x" << std::hex << pointer, pointer == 0;
         const DWORD flags = image.flags_of(pointer - image.base());
         const int references = image.code_references_to(pointer);
         found << "section flags 0x" << std::hex << flags << ", " << std::dec << references
               << " places in code";
         return pointer != 0 && !(flags & IMAGE_SCN_MEM_WRITE) && references > 0;
     }},
    {"W^X", "section headers", "no section both writable and executable",
     [](const PeImage &image, std::ostream &found) {
         return no_section_with(image, IMAGE_SCN_MEM_WRITE | IMAGE_SCN_MEM_EXECUTE, found);
     }},
    {"no shared writable section", "section headers", "no section both shared and writable",
     [](const PeImage &image, std::ostream &found) {
         return no_section_with(image, IMAGE_SCN_MEM_WRITE | IMAGE_SCN_MEM_SHARED, found);
     }},
};

// What reviewers' PE checkers look for in an elevated x86 program (README, "Hardening").
// Of every program that ships: the launcher, and the checker beside it.
TEST_F(Resources, Hardening)
{
    for (const std::string &program : {copy_, built_program("uninstall-check.exe")}) {
        SCOPED_TRACE(program);
        const PeImage image(program);
        ASSERT_NE(image.nt, nullptr);
        ASSERT_EQ(image.nt->Signature, IMAGE_NT_SIGNATURE);
        ASSERT_EQ(image.nt->OptionalHeader.Magic, IMAGE_NT_OPTIONAL_HDR32_MAGIC);
        for (const Property &row : hardening) {
            std::ostringstream found;
            EXPECT_TRUE(row.check(image, found))
                << row.property << " (" << row.where << "): expected " << row.expected
                << ", found " << found.str();
        }
    }
}

// The cookie of a run of the launcher, read when the loader has done its work: at the breakpoint
// that the system makes for a debugger before the program's code starts. The run ends there.
bool cookie_of_a_run(const std::string &program, DWORD cookie_rva, DWORD *cookie)
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(program.c_str(), /*command_line=*/NULL, /*process_attributes=*/NULL,
                        /*thread_attributes=*/NULL, /*inherit_handles=*/FALSE,
                        DEBUG_ONLY_THIS_PROCESS, /*environment=*/NULL,
                        /*current_directory=*/NULL, &startup, &process))
        return false;
    bool read = false;
    char *base = NULL;
    DEBUG_EVENT event = {};
    while (WaitForDebugEvent(&event, /*milliseconds=*/60000)) {
        if (event.dwDebugEventCode == CREATE_PROCESS_DEBUG_EVENT) {
            base = static_cast<char *>(event.u.CreateProcessInfo.lpBaseOfImage);
            CloseHandle(event.u.CreateProcessInfo.hFile);
        } else if (event.dwDebugEventCode == LOAD_DLL_DEBUG_EVENT) {
            CloseHandle(event.u.LoadDll.hFile);
        } else if (event.dwDebugEventCode == EXCEPTION_DEBUG_EVENT && !read &&
                   event.u.Exception.ExceptionRecord.ExceptionCode == EXCEPTION_BREAKPOINT) {
            read = base != NULL && ReadProcessMemory(process.hProcess, base + cookie_rva, cookie,
                                                     sizeof *cookie, /*bytes_read=*/NULL);
            TerminateProcess(process.hProcess, /*exit_code=*/0);
        }
        const DWORD code = event.dwDebugEventCode;
        ContinueDebugEvent(event.dwProcessId, event.dwThreadId, DBG_CONTINUE);
        if (code == EXIT_PROCESS_DEBUG_EVENT)
            break;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return read;
}

// The loader replaces the default cookie, with another value at each run.
TEST_F(Resources, LoaderRandomisesTheCookie)
{
    const PeImage image(copy_);
    ASSERT_NE(image.nt, nullptr);
    const LoadConfig32 *config = image.load_config(sizeof(LoadConfig32));
    ASSERT_NE(config, nullptr) << "no load config";
    const DWORD cookie_rva = config->base.SecurityCookie - image.base();

    // Wine seeds it with the tick count XOR the process id, so two runs can meet on one value
    // (seen once in a CTest run); three that all meet would mean no new value per run.
    DWORD cookies[3] = {};
    for (DWORD &cookie : cookies) {
        ASSERT_TRUE(cookie_of_a_run(copy_, cookie_rva, &cookie)) << "error " << GetLastError();
        EXPECT_NE(cookie, default_security_cookie);
    }
    EXPECT_FALSE(cookies[0] == cookies[1] && cookies[1] == cookies[2]);
    std::ostringstream values;
    values << std::hex << cookies[0] << " " << cookies[1] << " " << cookies[2];
    RecordProperty("cookies", values.str());
}

}  // namespace
