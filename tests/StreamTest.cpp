// Peek, ReadAll, ReadAt, WriteAt and the boolean test, which Stream and File
// build once on the virtual primitives, over a fake File that logs its calls.
#include <TarnIO/Stream.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <type_traits>

namespace {

const std::uint64_t unknown = TarnIO::Stream::unknownSize;

struct FakeFailure { std::string log; };  // no library code could throw this

// Follows a script, the log of calls the test expects, in which "!" marks a
// call that throws instead: "pos seek2 read3! seek7". Its log is marked alike.
class FakeFile : public TarnIO::File {
public:
    FakeFile(const char* plan, std::string content, std::uint64_t sizeIs, std::uint64_t at = 0)
        : script(plan), data(std::move(content)), size(sizeIs), position(at) {}

    std::uint64_t GetSize() const override { return Log("size", size); }
    std::uint64_t GetPosition() const override { return Log("pos", position); }
    std::uint64_t Read(void* buffer, std::uint64_t count) override {
        Log("read" + std::to_string(count), 0);
        std::size_t done = data.copy(static_cast<char*>(buffer), count, position);
        position += done;
        return done;
    }
    std::uint64_t Write(const void* buffer, std::uint64_t count) override {
        Log("write" + std::to_string(count), 0);
        data.replace(position, count, static_cast<const char*>(buffer), count);
        position += count;
        return count;
    }
    bool IsOpen() const override { return open; }
    void Close() override { open = false; }
    void Flush() override {}
    std::uint64_t Seek(std::int64_t offset, TarnIO::SeekOrigin origin) override {
        EXPECT_EQ(TarnIO::seekBegin, origin) << "ReadAt and WriteAt seek from the beginning";
        return position = Log("seek" + std::to_string(offset), offset);
    }
    template <class T>
    T Log(const std::string& call, T result) const {
        log += (log.empty() ? "" : " ") + call;
        if (script.compare(0, log.size() + 1, log + "!") == 0)
            throw FakeFailure{log += "!"};
        return result;
    }

    const std::string script;
    std::string data;
    std::uint64_t size, position;
    bool open = true;
    mutable std::string log;
};

}  // namespace

TEST(StreamTest, Peek) {
    // ReadAll shows the rest: what Read is asked, and no position for an unknown size.
    EXPECT_EQ(6u, FakeFile("", "", 10, 4).Peek());
    EXPECT_EQ(unknown, FakeFile("", "", 10, 12).Peek());  // past the end
    EXPECT_EQ(unknown, FakeFile("", "", 10, unknown).Peek());
}

TEST(StreamTest, ReadAllAppendsAndRestoresTheStringOnFailure) {
    // Known size: one Read, a short one (7 of 10 bytes) not repeated. Unknown size:
    // 4096-byte chunks until a Read gives 0. A Read that throws takes back its chunk.
    struct Row { std::uint64_t length, size, position, appended; const char* script; };
    const Row rows[] = {
        {10, 10, 4, 6, "size pos read6"}, {10, 10, 10, 0, "size pos read0"},
        {7, 10, 4, 3, "size pos read6"},  {10, 10, 4, 0, "size pos read6!"},
        {5000, unknown, 0, 5000, "size read4096 read4096 read4096"},  // 4096, 904, 0 delivered
        {5000, unknown, 0, 0, "size read4096!"},
        {5000, unknown, 0, 4096, "size read4096 read4096!"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.script);
        std::string data(row.length, '0');
        for (std::size_t i = 0; i < data.size(); ++i)
            data[i] = static_cast<char>('0' + i % 10);
        FakeFile file(row.script, data, row.size, row.position);
        std::string out = "ab";
        if (std::string(row.script).find('!') != std::string::npos)
            EXPECT_THROW(file.ReadAll(out), FakeFailure);
        else
            EXPECT_EQ(row.appended, file.ReadAll(out));
        EXPECT_EQ("ab" + data.substr(row.position, row.appended), out);
        EXPECT_EQ(row.script, file.log);
    }
    // A remainder no string can hold is refused before anything is read.
    FakeFile huge("", "", unknown - 1);
    std::string out = "ab";
    EXPECT_THROW(huge.ReadAll(out), std::length_error);
    EXPECT_EQ("size pos", huge.log);
}

TEST(StreamTest, ReadAtAndWriteAtRestoreThePosition) {
    // The first failure comes out; a failing first Seek means no transfer at all.
    const std::pair<bool, std::string> rows[] = {
        {false, "pos seek2 read3 seek7"},  {true, "pos seek2 write3 seek7"},
        {false, "pos seek2 read3! seek7"}, {true, "pos seek2 write3! seek7"},
        {false, "pos seek2!"},             {true, "pos seek2!"},
        {false, "pos seek2 read3 seek7!"}, {true, "pos seek2 write3! seek7!"},
    };
    for (const auto& row : rows) {
        const std::string& script = row.second;
        SCOPED_TRACE(script);
        FakeFile file(script.c_str(), "0123456789", 10, 7);
        char buffer[4] = "abc";
        std::string thrown;
        try {
            EXPECT_EQ(3u, row.first ? file.WriteAt(2, buffer, 3) : file.ReadAt(2, buffer, 3));
            EXPECT_EQ(row.first ? "01abc56789" : "0123456789", file.data);
            EXPECT_STREQ(row.first ? "abc" : "234", buffer);
        } catch (const FakeFailure& e) {
            thrown = e.log;
        }
        EXPECT_EQ(script.substr(0, script.find('!') + 1), thrown);  // the first failure
        EXPECT_EQ(script, file.log);
    }
}

TEST(StreamTest, BooleanTestFollowsIsOpen) {
    static_assert(!std::is_convertible<TarnIO::Stream, bool>::value, "only an explicit test");
    FakeFile file("", "", 0);
    EXPECT_TRUE(static_cast<bool>(file));
    file.Close();
    EXPECT_FALSE(static_cast<bool>(file));
}
