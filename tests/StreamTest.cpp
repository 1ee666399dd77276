// What Stream and File build once on the virtual primitives, over a fake File.
#include <TarnIO/Stream.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <type_traits>

namespace {

const std::uint64_t unknown = TarnIO::Stream::unknownSize;

struct FakeFailure { std::string log; };  // no library code could throw this

// Logs its calls and follows a script of them, "!" marking one that throws: "pos seek2! ".
class FakeFile : public TarnIO::File {
public:
    FakeFile(const char* plan, std::uint64_t length, std::uint64_t sizeIs, std::uint64_t at = 0)
        : script(plan), size(sizeIs), position(at) {
        while (data.size() < length)  // "0123456789012...": every offset shows
            data += static_cast<char>('0' + data.size() % 10);
    }

    std::uint64_t GetSize() const override { return Log("size", size); }
    std::uint64_t GetPosition() const override { return Log("pos", position); }
    std::uint64_t Read(void* buffer, std::uint64_t count) override {
        Log("read" + std::to_string(count), 0);
        return Moved(data.copy(static_cast<char*>(buffer), count, position));
    }
    std::uint64_t Write(const void* buffer, std::uint64_t count) override {
        Log("write" + std::to_string(count), 0);
        data.replace(position, count, static_cast<const char*>(buffer), count);
        return Moved(count);
    }
    bool IsOpen() const override { return open; }
    void Close() override { open = false; }
    void Flush() override {}
    std::uint64_t Seek(std::int64_t offset, TarnIO::SeekOrigin origin) override {
        EXPECT_EQ(TarnIO::seekBegin, origin) << "ReadAt and WriteAt seek from the beginning";
        return position = Log("seek" + std::to_string(offset), offset);
    }
    std::uint64_t Moved(std::uint64_t count) { return position += count, count; }
    std::uint64_t Log(const std::string& call, std::uint64_t result) const {
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

TEST(StreamTest, PeekAndReadAll) {
    EXPECT_EQ(unknown, FakeFile("", 0, 10, unknown).Peek());
    // Known size: one Read, a short one not repeated; unknown: 4096-byte chunks to a 0.
    struct Row { std::uint64_t length, size, position, appended; const char* script; };
    const Row rows[] = {
        {10, 10, 4, 6, "size pos read6"}, {7, 10, 4, 3, "size pos read6"},
        {10, 10, 4, 0, "size pos read6!"}, {12, 10, 12, 0, "size pos read4096"},  // past the end
        {5000, unknown, 0, 5000, "size read4096 read4096 read4096"},  // 4096, 904, 0 delivered
        {5000, unknown, 0, 4096, "size read4096 read4096!"},  // earlier chunks are kept
        {0, unknown - 1, 0, 0, "size pos"},  // no string can hold it: nothing is read
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.script);
        FakeFile file(row.script, row.length, row.size, row.position);
        std::string out = "ab";
        try {
            EXPECT_EQ(row.appended, file.ReadAll(out));
        } catch (const FakeFailure&) {  // the log shows whether it was expected
        } catch (const std::length_error&) {
        }
        EXPECT_EQ("ab" + file.data.substr(row.position, row.appended), out);
        EXPECT_EQ(row.script, file.log);
    }
}

TEST(StreamTest, ReadAtAndWriteAtRestoreThePositionAndTheBooleanTest) {
    static_assert(!std::is_convertible<TarnIO::Stream, bool>::value, "only an explicit test");
    FakeFile closed("", 0, 0);
    EXPECT_TRUE(static_cast<bool>(closed));
    closed.Close();
    EXPECT_FALSE(static_cast<bool>(closed));
    // The first failure comes out; both share the restoring code, shown on one or the other.
    struct Row { bool write; std::string script; } rows[] = {
        {false, "pos seek2 read3 seek7"},  {true, "pos seek2 write3 seek7"},
        {false, "pos seek2 read3! seek7"}, {true, "pos seek2!"},
        {false, "pos seek2 read3 seek7!"}, {true, "pos seek2 write3! seek7!"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.script);
        FakeFile file(row.script.c_str(), 10, 10, 7);
        char buffer[4] = "abc";
        std::string thrown;
        try {
            EXPECT_EQ(3u, row.write ? file.WriteAt(2, buffer, 3) : file.ReadAt(2, buffer, 3));
            EXPECT_EQ(row.write ? "01abc56789|abc" : "0123456789|234", file.data + "|" + buffer);
        } catch (const FakeFailure& e) {
            thrown = e.log;
        }
        EXPECT_EQ(row.script.substr(0, row.script.find('!') + 1), thrown);  // the first failure
        EXPECT_EQ(row.script, file.log);
    }
}
