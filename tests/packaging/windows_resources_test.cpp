// The version record and manifests of the Windows deliverables, read back
// through the same calls Windows Explorer and the loader use.
#include <windows.h>
// clang-format off
#include <winver.h>
// clang-format on
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "test_platform.h"

namespace zorvex::test {
namespace {

std::vector<std::string> libraries() {
    std::vector<std::string> paths;
    std::istringstream list(ZORVEX_LIBRARIES);
    for (std::string path; std::getline(list, path, '|');) {
        paths.push_back(buildPath(path));
    }
    return paths;
}

std::vector<unsigned char> versionRecord(const std::string& file) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(file.c_str(), &ignored);
    std::vector<unsigned char> record(size);
    if (size == 0 || !GetFileVersionInfoA(file.c_str(), 0, size, record.data())) {
        record.clear();
    }
    return record;
}

std::wstring stringValue(std::vector<unsigned char>& record, const wchar_t* name) {
    const std::wstring key = std::wstring(L"\\StringFileInfo\\041104b0\\") + name;
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(record.data(), key.c_str(), &value, &length) || length == 0) {
        return L"<missing>";
    }
    return std::wstring(static_cast<const wchar_t*>(value));
}

std::string manifest(const std::string& file, int id) {
    const HMODULE module = LoadLibraryExA(file.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (module == nullptr) {
        return "<not loadable>";
    }
    std::string text = "<missing>";
    if (const HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(24))) {
        const HGLOBAL loaded = LoadResource(module, resource);
        text.assign(static_cast<const char*>(LockResource(loaded)),
                    SizeofResource(module, resource));
    }
    FreeLibrary(module);
    return text;
}

void expectAsInvoker(const std::string& text) {
    EXPECT_NE(text.find("level=\"asInvoker\""), std::string::npos) << text;
    EXPECT_NE(text.find("uiAccess=\"false\""), std::string::npos) << text;
}

TEST(WindowsResources, LibrariesCarryTheVersionRecord) {
    for (const std::string& library : libraries()) {
        SCOPED_TRACE(library);
        std::vector<unsigned char> record = versionRecord(library);
        ASSERT_FALSE(record.empty());

        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT length = 0;
        ASSERT_TRUE(
            VerQueryValueW(record.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
        EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
        EXPECT_EQ(fixed->dwFileVersionLS, 0x00010000u);
        EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
        EXPECT_EQ(fixed->dwProductVersionLS, 0x00010000u);

        WORD* translation = nullptr;
        ASSERT_TRUE(VerQueryValueW(record.data(), L"\\VarFileInfo\\Translation",
                                   reinterpret_cast<void**>(&translation), &length));
        ASSERT_EQ(length, 4u);
        EXPECT_EQ(translation[0], 0x0411);
        EXPECT_EQ(translation[1], 1200);

        EXPECT_EQ(stringValue(record, L"FileDescription"),
                  L"MCP2221A \u3067 DELOQ-72N \u3092\u5236\u5fa1\u3059\u308b");
        EXPECT_EQ(stringValue(record, L"ProductName"),
                  L"DELOQ-72N \u30b9\u30a4\u30c3\u30c1\u30e3\u30fc");
        EXPECT_EQ(stringValue(record, L"InternalName"), L"zorvex.dll");
        EXPECT_EQ(stringValue(record, L"OriginalFilename"), L"zorvex.dll");
        EXPECT_EQ(stringValue(record, L"FileVersion"), L"1.0.1.0");
        EXPECT_EQ(stringValue(record, L"ProductVersion"), L"1.0.1.0");
    }
}

TEST(WindowsResources, BothDeliverablesAskToRunAsInvoker) {
    for (const std::string& library : libraries()) {
        SCOPED_TRACE(library);
        expectAsInvoker(manifest(library, 2));
    }
    expectAsInvoker(manifest(buildPath(ZORVEX_CONSOLE), 1));
}

}  // namespace
}  // namespace zorvex::test
