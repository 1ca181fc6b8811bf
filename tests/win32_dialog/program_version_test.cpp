// The shipped program's version information as Windows itself reads it from
// the file (what Explorer's Properties show): the project's one version in
// the fixed numbers and in the texts of the translation the file declares.
#include <windows.h>

#include <gtest/gtest.h>
#include <winver.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "generated/version.h"

namespace {

std::string Narrow(const wchar_t* text) {
    std::string out;
    for (; *text != L'\0'; ++text) out += *text < 0x80 ? static_cast<char>(*text) : '?';
    return out;
}

}  // namespace

TEST(ProgramVersion, WindowsReadsTheProjectVersionFromTheProgram) {
    const char* program = std::getenv("KX9_PROGRAM");
    ASSERT_NE(program, nullptr) << "KX9_PROGRAM is not set";
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(program, &ignored);
    ASSERT_GT(size, 0u) << program << " has no version information";
    std::vector<char> info(size);
    ASSERT_TRUE(GetFileVersionInfoA(program, 0, size, info.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    const DWORD high = (DWORD(kKx9VersionMajor) << 16) | DWORD(kKx9VersionMinor);
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileVersionMS, high);
    EXPECT_EQ(fixed->dwFileVersionLS, 0u);
    EXPECT_EQ(fixed->dwProductVersionMS, high);
    EXPECT_EQ(fixed->dwFileType, DWORD(VFT_APP));
    EXPECT_EQ(fixed->dwFileOS, DWORD(VOS_NT_WINDOWS32));

    WORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&translation), &length));
    ASSERT_GE(length, 4u);
    // US English in Unicode, the block Windows looks in first.
    EXPECT_EQ(translation[0], 0x409);
    EXPECT_EQ(translation[1], 1200);
    std::wstring block = L"\\StringFileInfo\\";
    for (WORD part : {translation[0], translation[1]}) {
        for (int shift = 12; shift >= 0; shift -= 4)
            block += L"0123456789abcdef"[(part >> shift) & 0xF];
    }
    block += L"\\";
    auto text = [&](const wchar_t* name) {
        wchar_t* value = nullptr;
        UINT chars = 0;
        const std::wstring path = block + name;
        if (!VerQueryValueW(info.data(), path.c_str(), reinterpret_cast<void**>(&value), &chars))
            return std::string("(missing)");
        return Narrow(value);
    };
    EXPECT_EQ(text(L"FileVersion"), kKx9Version);
    EXPECT_EQ(text(L"ProductVersion"), kKx9Version);
    EXPECT_EQ(text(L"OriginalFilename"), "Kx9JoystickCalibration.exe");
    EXPECT_EQ(text(L"InternalName"), "Kx9JoystickCalibration");
    for (const wchar_t* name :
         {L"ProductName", L"FileDescription", L"CompanyName", L"LegalCopyright"}) {
        const std::string value = text(name);
        EXPECT_NE(value, "(missing)") << Narrow(name);
        EXPECT_FALSE(value.empty()) << Narrow(name);
    }
}
