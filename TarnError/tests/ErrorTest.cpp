#include <TarnError/Error.h>

#include <gtest/gtest.h>

#include <memory>

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

// The system's texts for errno and Win32 numbers, in whole errors as tarn prints them: the
// README's checked samples.
TEST(ErrorTest, DetailsInAttachingOrderCopiesAndClones) {
    RuntimeError error("unable to open file", here);
    EXPECT_STREQ("unable to open file at Test::Run (.\\Test:42)", error.what());
    Attach<ErrorInfo_errno>(error, 13);
    Attach<ErrorInfo_errno>(error, 2);
    Attach<ErrorInfo_invalidArgumentName>(error, nullptr);
    // A detail that cannot be rendered is not kept: what() and the details agree.
    EXPECT_THROW(Attach<ErrorInfo_unprintable>(error, Unprintable()), std::bad_alloc);
    const RuntimeError copy(error);
    EXPECT_EQ(3u, copy.GetInfoCount());
    EXPECT_EQ(13, *copy.GetInfo<ErrorInfo_errno>());  // the first of its record
    EXPECT_STREQ("unable to open file [errno=13 (Permission denied), errno=2 (No such file or "
                 "directory), invalidArgumentName=(null)] at Test::Run (.\\Test:42)",
                 copy.AsException().what());
    // Clone and Rethrow keep the dynamic class; the three roots share that code.
    const Error& root = copy;
    const std::unique_ptr<std::exception> clone(root.Clone());
    EXPECT_NE(nullptr, dynamic_cast<const RuntimeError*>(clone.get()));
    EXPECT_THROW(root.Rethrow(), RuntimeError);
}

TEST(ErrorTest, UnicodeEscape) {
    // Printable ASCII stays, anything else becomes \uXXXX; all ones: up to the NUL.
    EXPECT_EQ("caf\\u00E9\\u001F ~\\u007F\\u4E2D",
              UnicodeEscape(L"caf\u00E9\x1F ~\x7F\u4E2D", 0xFFFFFFFFu));
    EXPECT_EQ("a\\u0000b", UnicodeEscape(L"a\0bcd", 3));
}
