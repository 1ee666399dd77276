#include <TarnError/Error.h>

#include <gtest/gtest.h>

#include <memory>
#include <sstream>

using namespace TarnError;

namespace {

struct TestTag {};

struct Unprintable {};  // a detail whose rendering fails
std::ostream& operator<<(std::ostream&, Unprintable) { throw std::bad_alloc(); }
struct ErrorInfo_unprintable {
    typedef Unprintable value_type;
    static constexpr const char* name = "unprintable";
};

template <class Record>
void Attach(Error& error, const typename Record::value_type& value) {
    ErrorInfoAttacher<TestTag>::Attach(error,
                                       std::make_shared<const ErrorInfoWrapper<Record>>(value));
}

const Context here = {".\\Test", "Test::Run", 42};

}  // namespace

TEST(ErrorTest, WhatListsTheDetailsInAttachingOrder) {
    RuntimeError error("unable to open file", here);
    EXPECT_STREQ("unable to open file at Test::Run (.\\Test:42)", error.what());
    Attach<ErrorInfo_Win32Error>(error, 5);
    Attach<ErrorInfo_errno>(error, 13);
    Attach<ErrorInfo_errno>(error, 2);
    Attach<ErrorInfo_invalidArgumentName>(error, nullptr);
    // A detail that cannot be rendered is not kept: what() and the details agree.
    EXPECT_THROW(Attach<ErrorInfo_unprintable>(error, Unprintable()), std::bad_alloc);
    const RuntimeError copy(error);
    EXPECT_EQ(4u, copy.GetInfoCount());
    EXPECT_EQ(13, *copy.GetInfo<ErrorInfo_errno>());  // the first of its record
    // The system's message follows a number, without line break or full stop.
    std::ostringstream out;
    ErrorInfoWrapper<ErrorInfo_Win32Error>(5).Render(out);
    const std::string win32 = out.str();
    EXPECT_TRUE(win32.find("5 (") == 0 && win32.back() == ')' && win32.find(".)") == win32.npos &&
                win32.find_first_of("\r\n") == win32.npos)
        << win32;
    EXPECT_EQ("unable to open file [Win32Error=" + win32 +
                  ", errno=13 (Permission denied), errno=2 (No such file or directory), "
                  "invalidArgumentName=(null)] at Test::Run (.\\Test:42)",
              copy.AsException().what());
}

TEST(ErrorTest, UnicodeEscape) {
    // Printable ASCII stays, anything else becomes \uXXXX; all ones: up to the NUL.
    EXPECT_EQ("caf\\u00E9\\u001F ~\\u007F\\u4E2D",
              UnicodeEscape(L"caf\u00E9\x1F ~\x7F\u4E2D", 0xFFFFFFFFu));
    EXPECT_EQ("a\\u0000b", UnicodeEscape(L"a\0bcd", 3));
}

// The three roots differ only in their standard base: one stands for them.
TEST(ErrorTest, CloneAndRethrowKeepTheDynamicClass) {
    InvalidArgument invalid("invalid argument", here);
    Attach<ErrorInfo_invalidArgumentName>(invalid, "origin");
    const Error& root = invalid;
    std::unique_ptr<std::exception> clone(root.Clone());
    const InvalidArgument* copy = dynamic_cast<const InvalidArgument*>(clone.get());
    ASSERT_NE(nullptr, copy);
    EXPECT_STREQ(invalid.what(), copy->what());
    EXPECT_EQ(&invalid.GetInfoAt(0), &copy->GetInfoAt(0));
    EXPECT_THROW(root.Rethrow(), std::invalid_argument);
}
