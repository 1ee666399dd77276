#include <TarnError/Error.h>

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>

using namespace TarnError;

namespace {

struct TestTag {};
typedef ErrorInfoAttacher<TestTag> Attacher;

struct ErrorInfo_count {
    typedef int value_type;
    static constexpr const char* name = "count";
};

template <class Record>
ErrorInfoPtr Info(const typename Record::value_type& value) {
    return std::make_shared<const ErrorInfoWrapper<Record>>(value);
}

const Context here = {".\\Test", "Test::Run", 42};

template <class Record>
std::string Render(const typename Record::value_type& value) {
    std::ostringstream out;
    ErrorInfoWrapper<Record>(value).Render(out);
    return out.str();
}

}  // namespace

TEST(ErrorTest, WhatComposesMessageDetailsAndThrowSite) {
    RuntimeError error("unable to open file", here);
    EXPECT_STREQ("unable to open file at Test::Run (.\\Test:42)", error.what());

    Attacher::Attach(error, Info<ErrorInfo_errno>(2));
    Attacher::Attach(error, Info<ErrorInfo_invalidArgumentName>("mode"));
    EXPECT_EQ("unable to open file [errno=" + Render<ErrorInfo_errno>(2) +
                  ", invalidArgumentName=mode] at Test::Run (.\\Test:42)",
              std::string(error.what()));
    // The standard face reports the same text.
    const std::exception& standard = error.AsException();
    EXPECT_STREQ(error.what(), standard.what());
}

TEST(ErrorTest, DetailsAreKeptInAttachingOrderAndFoundByRecord) {
    LogicError error("file not open", here);
    EXPECT_EQ(nullptr, error.GetInfo<ErrorInfo_errno>());
    Attacher::Attach(error, Info<ErrorInfo_Win32Error>(5));
    Attacher::Attach(error, Info<ErrorInfo_errno>(13));
    Attacher::Attach(error, Info<ErrorInfo_errno>(99));

    ASSERT_EQ(3u, error.GetInfoCount());
    EXPECT_STREQ("Win32Error", error.GetInfoAt(0).GetName());
    EXPECT_STREQ("errno", error.GetInfoAt(1).GetName());
    EXPECT_TRUE(error.GetInfoAt(1).GetType() == typeid(ErrorInfo_errno));
    ASSERT_NE(nullptr, error.GetInfo<ErrorInfo_errno>());
    EXPECT_EQ(13, *error.GetInfo<ErrorInfo_errno>());  // the first of its record
    EXPECT_EQ(5ul, *error.GetInfo<ErrorInfo_Win32Error>());
    EXPECT_EQ("file not open", error.GetMessageText());
    EXPECT_STREQ("Test::Run", error.GetContext().function);
    EXPECT_EQ(42, error.GetContext().line);
}

TEST(ErrorTest, DetailOutlivesTheCallersPointer) {
    RuntimeError error("x", here);
    {
        ErrorInfoPtr info = Info<ErrorInfo_count>(7);
        Attacher::Attach(error, info);
    }
    RuntimeError copy(error);
    ASSERT_NE(nullptr, copy.GetInfo<ErrorInfo_count>());
    EXPECT_EQ(7, *copy.GetInfo<ErrorInfo_count>());
}

TEST(ErrorTest, RenderingOfSystemNumbers) {
    // The system's own text follows the number, without line break or full stop.
    std::string win32 = Render<ErrorInfo_Win32Error>(2);
    EXPECT_EQ(0u, win32.find("2 (")) << win32;
    EXPECT_EQ(')', win32.back()) << win32;
    EXPECT_EQ(std::string::npos, win32.find_first_of("\r\n")) << win32;
    EXPECT_EQ(std::string::npos, win32.find(".)")) << win32;

    std::string crt = Render<ErrorInfo_errno>(2);
    EXPECT_EQ(0u, crt.find("2 (")) << crt;
    EXPECT_NE(std::string::npos, crt.find("No such file")) << crt;

    EXPECT_EQ("(null)", Render<ErrorInfo_invalidArgumentName>(nullptr));
    EXPECT_EQ("42", Render<ErrorInfo_count>(42));  // the general operator<< form
}

TEST(ErrorTest, UnicodeEscape) {
    struct Row {
        std::wstring text;
        unsigned length;
        const char* expected;
    } rows[] = {
        {L"C:\\data\\in.bin", 0xFFFFFFFFu, "C:\\data\\in.bin"},
        {L"caf\u00E9", 0xFFFFFFFFu, "caf\\u00E9"},
        {L"tab\there", 0xFFFFFFFFu, "tab\\u0009here"},
        {std::wstring(L"a\0b", 3), 3, "a\\u0000b"},
        {L"\u4E2D~\x7F", 0xFFFFFFFFu, "\\u4E2D~\\u007F"},
        {L"abcdef", 2, "ab"},
        {L"", 0xFFFFFFFFu, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.expected);
        EXPECT_EQ(row.expected, UnicodeEscape(row.text.c_str(), row.length));
    }
}

namespace {

template <class E>
void ExpectCloneAndRethrowKeepClass(const E& original) {
    const Error& asRoot = original;
    std::unique_ptr<std::exception> clone(asRoot.Clone());
    ASSERT_NE(nullptr, dynamic_cast<E*>(clone.get()));
    const E& copy = dynamic_cast<const E&>(*clone);
    EXPECT_STREQ(original.what(), copy.what());
    ASSERT_EQ(original.GetInfoCount(), copy.GetInfoCount());
    for (std::size_t i = 0; i < copy.GetInfoCount(); ++i)
        EXPECT_EQ(&original.GetInfoAt(i), &copy.GetInfoAt(i));  // shared, never re-made

    try {
        asRoot.Rethrow();
        ADD_FAILURE() << "Rethrow returned";
    } catch (const E& e) {
        EXPECT_STREQ(original.what(), e.what());
    } catch (...) {
        ADD_FAILURE() << "Rethrow lost the class";
    }
}

}  // namespace

TEST(ErrorTest, CloneAndRethrowKeepTheDynamicClass) {
    RuntimeError runtime("runtime", here);
    Attacher::Attach(runtime, Info<ErrorInfo_errno>(1));
    LogicError logic("logic", here);
    Attacher::Attach(logic, Info<ErrorInfo_Win32Error>(6));
    InvalidArgument invalid("invalid argument", here);
    Attacher::Attach(invalid, Info<ErrorInfo_invalidArgumentName>("origin"));

    ExpectCloneAndRethrowKeepClass(runtime);
    ExpectCloneAndRethrowKeepClass(logic);
    ExpectCloneAndRethrowKeepClass(invalid);
}

TEST(ErrorTest, RootsAreCaughtByTheirStandardBaseOnly) {
    try {
        InvalidArgument("invalid argument", here).Rethrow();
    } catch (const std::logic_error& e) {
        // std::invalid_argument derives from std::logic_error; what matters is
        // that TarnError::LogicError does not catch it.
        EXPECT_EQ(nullptr, dynamic_cast<const LogicError*>(&e));
    }
    EXPECT_THROW(RuntimeError("r", here).Rethrow(), std::runtime_error);
    EXPECT_THROW(LogicError("l", here).Rethrow(), Error);
}

TEST(ErrorTest, AssignmentCopiesEverything) {
    RuntimeError a("first", here);
    RuntimeError b("second", Context{".\\Other", "Other::Op", 7});
    Attacher::Attach(b, Info<ErrorInfo_errno>(28));
    a = b;
    EXPECT_STREQ(b.what(), a.what());
    EXPECT_EQ("second", a.GetMessageText());
    ASSERT_NE(nullptr, a.GetInfo<ErrorInfo_errno>());
    EXPECT_EQ(28, *a.GetInfo<ErrorInfo_errno>());
}
