// Shared test helpers: a temporary-directory fixture whose teardown proves
// that nothing was left open, and helpers to catch and inspect errors.
#pragma once

#include <TarnError/Error.h>
#include <TarnIO/Path.h>

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <functional>
#include <regex>
#include <sstream>

#include <string>
#include <vector>

namespace TarnTest {

typedef std::vector<std::string> Names;

// Every name below dir, relative to it, sorted ("a", "a\\b"), found with plain Win32 calls.
inline Names Listing(const std::wstring& dir, const std::string& prefix = "") {
    Names names;
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW((dir + L"\\*").c_str(), &data);
    for (bool more = find != INVALID_HANDLE_VALUE; more; more = ::FindNextFileW(find, &data)) {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..")
            continue;
        names.push_back(prefix + std::string(name.begin(), name.end()));
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            const Names below = Listing(dir + L"\\" + name, names.back() + "\\");
            names.insert(names.end(), below.begin(), below.end());
        }
    }
    if (find != INVALID_HANDLE_VALUE)
        ::FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

// What removing path with everything below it threw, "" when it went; on
// Windows a handle left open makes it fail.
inline std::string RemoveTree(const std::wstring& path) {
    try {
        TarnIO::Path(path).RemoveTree();
        return "";
    } catch (const std::exception& e) {
        return e.what();
    }
}

// A fresh directory per test under the system's temporary directory. Its
// removal at teardown is asserted: a handle the test or the library leaked
// makes it fail.
class TempDirTest : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t base[MAX_PATH + 1];
        DWORD length = ::GetTempPathW(MAX_PATH + 1, base);
        ASSERT_GT(length, 0u);
        static unsigned counter = 0;
        do  // a name that a crashed run of the same process id left behind is passed over
            dir = std::wstring(base, length) + L"tarn-" +
                  std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(++counter);
        while (!TarnIO::Path(dir).CreateDir());
    }

    void TearDown() override {
        if (!dir.empty()) {
            EXPECT_EQ("", RemoveTree(dir)) << "temporary directory not removable: something was "
                                              "left open";
        }
    }

    // dir\name.
    std::wstring In(const std::wstring& name) const { return dir + L"\\" + name; }

    // Creates (or replaces) dir\name holding content; returns its full path.
    std::wstring MakeFile(const std::wstring& name, const std::string& content = std::string()) {
        const std::wstring full = In(name);
        HANDLE h = ::CreateFileW(full.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD done = 0;
        EXPECT_TRUE(h != INVALID_HANDLE_VALUE &&
                    ::WriteFile(h, content.data(), DWORD(content.size()), &done, nullptr))
            << ::GetLastError();
        ::CloseHandle(h);
        return full;
    }

    std::wstring MakeDir(const std::wstring& name) {
        std::wstring full = In(name);
        EXPECT_TRUE(TarnIO::Path(full).CreateDir());
        return full;
    }

    // The content of a file, read with plain Win32 calls.
    static std::string ReadBack(const std::wstring& path) {
        HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_NE(h, INVALID_HANDLE_VALUE) << ::GetLastError();
        std::string content;
        char buffer[4096];
        DWORD done = 0;
        while (::ReadFile(h, buffer, sizeof buffer, &done, nullptr) && done > 0)
            content.append(buffer, done);
        ::CloseHandle(h);
        return content;
    }

    std::wstring dir;
};

// The names of an error's details in attaching order: {"FileErrorCode", "errno"}.
inline std::vector<std::string> DetailNames(const TarnError::Error& e) {
    std::vector<std::string> names;
    for (std::size_t i = 0; i < e.GetInfoCount(); ++i)
        names.push_back(e.GetInfoAt(i).GetName());
    return names;
}

// What call threw as one line: Context file and function, message, then each
// detail as name=value in attaching order, without the words in brackets that
// follow a number ("Win32Error=2", "FileErrorCode=fileErrorNotFound"), which
// differ between systems; marked when the class is not exactly E.
template <class E> std::string Thrown(const std::function<void()>& call) {
    try {
        call();
    } catch (const TarnError::Error& e) {
        std::ostringstream out;
        out << (typeid(e) == typeid(E) ? "" : "not exactly the class: ") << e.GetContext().file
            << " " << e.GetContext().function << ": " << e.GetMessageText();
        for (std::size_t i = 0; i < e.GetInfoCount(); ++i)
            e.GetInfoAt(i).Render(out << "; " << e.GetInfoAt(i).GetName() << "=");
        return std::regex_replace(out.str(), std::regex(" \\([^;]*\\)(;|$)"), "$1");
    }
    return "nothing thrown";
}

}  // namespace TarnTest
