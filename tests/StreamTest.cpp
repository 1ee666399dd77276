// What Stream and File build once on the virtual primitives, over a fake File.
#include <TarnIO/Stream.h>

#include <gtest/gtest.h>

#include <string>

namespace {

const std::uint64_t unknown = TarnIO::Stream::unknownSize;

struct FakeFailure {};  // no library code could throw this

// Holds "0123456789012..." and logs its calls; "!" in the script marks the one that throws.
struct FakeFile : TarnIO::File {
    FakeFile(const char* script, std::size_t length, std::uint64_t size, std::uint64_t at)
        : script(script), size(size), position(at) {
        while (data.size() < length)
            data += char('0' + data.size() % 10);
    }
    std::uint64_t GetSize() const override { return Log("size", size); }
    std::uint64_t GetPosition() const override { return Log("pos", position); }
    std::uint64_t Read(void* buffer, std::uint64_t count) override {
        Log("read" + std::to_string(count), 0);
        const std::uint64_t done = data.copy(static_cast<char*>(buffer), count, position);
        return position += done, done;
    }
    std::uint64_t Seek(std::int64_t offset, TarnIO::SeekOrigin origin) override {
        const std::string call = origin == TarnIO::seekBegin ? "seek" : "seek?";
        return position = Log(call + std::to_string(offset), offset);
    }
    std::uint64_t Write(const void*, std::uint64_t) override { return 0; }
    bool IsOpen() const override { return true; }
    void Close() override {}
    void Flush() override {}
    std::uint64_t Log(const std::string& call, std::uint64_t result) const {
        log += (log.empty() ? "" : " ") + call;
        if (script.compare(0, log.size() + 1, log + "!") == 0) {
            log += "!";
            throw FakeFailure();
        }
        return result;
    }

    const std::string script;
    std::string data;
    std::uint64_t size, position;
    mutable std::string log;  // the calls, then "=" and the result or "threw"
};

}  // namespace

TEST(StreamTest, PeekAndReadAll) {
    EXPECT_EQ(unknown, FakeFile("", 0, 10, unknown).Peek());
    // Known size: one Read, a short one not repeated; unknown: 4096-byte chunks to a 0.
    // A failure leaves what was appended before it.
    const struct Row {
        std::uint64_t length, size, position, appended;
        const char* script;
    } rows[] = {
        {10, 10, 4, 6, "size pos read6 =6"},
        {7, 10, 4, 3, "size pos read6 =3"},
        {10, 10, 10, 0, "size pos read0 =0"},
        {10, 10, 4, 0, "size pos read6! threw"},
        {12, 10, 12, 0, "size pos read4096 =0"},  // past the end
        {5000, unknown, 0, 5000, "size read4096 read4096 read4096 =5000"},  // 4096, 904, 0
        {5000, unknown, 0, 4096, "size read4096 read4096! threw"},
        {0, unknown - 1, 0, 0, "size pos threw"},  // no string can hold it: nothing is read
    };
    for (const Row& row : rows) {
        FakeFile file(row.script, row.length, row.size, row.position);
        std::string out = "ab";
        try {
            file.log += " =" + std::to_string(file.ReadAll(out));
        } catch (...) {  // FakeFailure or std::length_error
            file.log += " threw";
        }
        EXPECT_EQ(row.script, file.log);
        EXPECT_EQ("ab" + file.data.substr(row.position, row.appended), out) << row.script;
    }
}

// Also after a failure, whose own exception comes out. WriteAt shares the code.
TEST(StreamTest, ReadAtRestoresThePosition) {
    const char* const scripts[] = {
        "pos seek2 read3 seek7 =234",
        "pos seek2 read3! seek7 threw",
        "pos seek2 read3 seek7! threw",
        "pos seek2 read3! seek7! threw",
    };
    for (const char* script : scripts) {
        FakeFile file(script, 10, 10, 7);
        char buffer[3];
        try {
            file.log += " =" + std::string(buffer, file.ReadAt(2, buffer, 3));
        } catch (const FakeFailure&) {
            file.log += " threw";
        }
        EXPECT_EQ(script, file.log);
    }
}
