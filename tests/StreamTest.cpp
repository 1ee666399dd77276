// The operations Stream and File build once on the virtual primitives: Peek,
// ReadAll, ReadAt, WriteAt and the boolean test, over an in-memory fake File
// that counts its calls and fails on demand.
#include <TarnIO/Stream.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

using TarnIO::File;
using TarnIO::Stream;

namespace {

const std::uint64_t unknown = Stream::unknownSize;

// What the fake throws: a type no library code could throw by accident.
struct FakeFailure {
    std::string what;
};

class FakeFile : public File {
public:
    explicit FakeFile(std::string data) : data(std::move(data)) {}

    std::uint64_t GetSize() const override {
        ++sizeCalls;
        return sizeOverride;
    }
    std::uint64_t GetPosition() const override {
        ++positionCalls;
        return positionUnknown ? unknown : position;
    }
    std::uint64_t Read(void* buffer, std::uint64_t count) override {
        reads.push_back(count);
        if (failRead == static_cast<int>(reads.size()) - 1)
            throw FakeFailure{"read"};
        std::uint64_t left = position < data.size() ? data.size() - position : 0;
        std::uint64_t done = std::min({count, left, maxPerRead});
        std::memcpy(buffer, data.data() + position, static_cast<std::size_t>(done));
        position += done;
        return done;
    }
    std::uint64_t Write(const void* buffer, std::uint64_t count) override {
        ++writes;
        if (failWrite)
            throw FakeFailure{"write"};
        std::size_t at = static_cast<std::size_t>(position);
        if (data.size() < at + count)
            data.resize(at + static_cast<std::size_t>(count));
        data.replace(at, static_cast<std::size_t>(count), static_cast<const char*>(buffer),
                     static_cast<std::size_t>(count));
        position += count;
        return count;
    }
    bool IsOpen() const override { return open; }
    void Close() override { open = false; }
    void Flush() override {}
    std::uint64_t Seek(std::int64_t offset, TarnIO::SeekOrigin origin) override {
        seeks.push_back(offset);
        if (failSeek == static_cast<int>(seeks.size()) - 1)
            throw FakeFailure{"seek"};
        EXPECT_EQ(TarnIO::seekBegin, origin) << "ReadAt and WriteAt seek from the beginning";
        position = static_cast<std::uint64_t>(offset);
        return position;
    }

    // Answers GetSize with the data's length unless told otherwise.
    void SizeIs(std::uint64_t size) { sizeOverride = size; }

    std::string data;
    std::uint64_t position = 0;
    std::uint64_t sizeOverride = data.size();
    std::uint64_t maxPerRead = unknown;
    bool positionUnknown = false;
    bool open = true;
    bool failWrite = false;
    int failRead = -1;  // index of the Read call that throws
    int failSeek = -1;  // index of the Seek call that throws

    mutable int sizeCalls = 0;
    mutable int positionCalls = 0;
    std::vector<std::uint64_t> reads;  // count asked, per call
    std::vector<std::int64_t> seeks;   // offset, per call
    int writes = 0;
};

typedef std::vector<std::uint64_t> Counts;

std::string Digits(std::size_t length) {
    std::string text;
    for (std::size_t i = 0; i < length; ++i)
        text += static_cast<char>('0' + i % 10);
    return text;
}

}  // namespace

TEST(StreamTest, Peek) {
    struct Row {
        std::uint64_t size;
        std::uint64_t position;
        bool positionUnknown;
        std::uint64_t expected;
        int positionCalls;
    };
    const Row rows[] = {
        {10, 4, false, 6, 1},
        {10, 10, false, 0, 1},
        {10, 12, false, unknown, 1},       // past the end
        {unknown, 4, false, unknown, 0},   // size unknown: position never asked
        {10, 4, true, unknown, 1},         // position unknown
        {0, 0, false, 0, 1},
        {unknown - 1, 0, false, unknown - 1, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE("size " + std::to_string(row.size) + ", position " +
                     std::to_string(row.position));
        FakeFile file("");
        file.SizeIs(row.size);
        file.position = row.position;
        file.positionUnknown = row.positionUnknown;
        EXPECT_EQ(row.expected, file.Peek());
        EXPECT_EQ(1, file.sizeCalls);
        EXPECT_EQ(row.positionCalls, file.positionCalls);
    }
}

TEST(StreamTest, ReadAllOfKnownSizeReadsOnce) {
    struct Row {
        const char* name;
        std::uint64_t position;
        std::uint64_t maxPerRead;
        const char* expectedOut;
        Counts expectedReads;
    };
    const Row rows[] = {
        {"from the middle", 4, unknown, "ab456789", {6}},
        {"at the end", 10, unknown, "ab", {0}},
        {"short read is not repeated", 4, 3, "ab456", {6}},
        {"from the start", 0, unknown, "ab0123456789", {10}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        FakeFile file("0123456789");
        file.position = row.position;
        file.maxPerRead = row.maxPerRead;
        std::string out = "ab";
        std::uint64_t done = file.ReadAll(out);
        EXPECT_EQ(row.expectedOut, out);
        EXPECT_EQ(out.size() - 2, done);
        EXPECT_EQ(row.expectedReads, file.reads);
    }
}

TEST(StreamTest, ReadAllOfUnknownSizeReadsChunksUntilZero) {
    const std::string data = Digits(5000);
    FakeFile file(data);
    file.SizeIs(unknown);
    std::string out = "prefix";
    EXPECT_EQ(5000u, file.ReadAll(out));
    EXPECT_EQ("prefix" + data, out);
    EXPECT_EQ((Counts{4096, 4096, 4096}), file.reads);
    EXPECT_EQ(0, file.positionCalls);
}

TEST(StreamTest, ReadAllOfUnknownSizeGoesOnAfterShortReads) {
    const std::string data = Digits(2500);
    FakeFile file(data);
    file.SizeIs(unknown);
    file.maxPerRead = 1000;
    std::string out;
    EXPECT_EQ(2500u, file.ReadAll(out));
    EXPECT_EQ(data, out);
    EXPECT_EQ(4u, file.reads.size());  // 1000, 1000, 500, 0 delivered
}

TEST(StreamTest, ReadAllThatThrowsRestoresTheString) {
    struct Row {
        const char* name;
        bool sizeKnown;
        int failRead;
        std::size_t expectedLength;  // of out after the throw
    };
    const Row rows[] = {
        {"known size", true, 0, 3},
        {"first chunk", false, 0, 3},
        {"second chunk keeps the first", false, 1, 3 + 4096},
    };
    const std::string data = Digits(5000);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        FakeFile file(data);
        if (!row.sizeKnown)
            file.SizeIs(unknown);
        file.failRead = row.failRead;
        std::string out = "old";
        EXPECT_THROW(file.ReadAll(out), FakeFailure);
        EXPECT_EQ(("old" + data).substr(0, row.expectedLength), out);
    }
}

TEST(StreamTest, ReadAllRefusesARemainderNoStringCanHold) {
    FakeFile file("");
    file.SizeIs(unknown - 1);
    std::string out = "keep";
    EXPECT_THROW(file.ReadAll(out), std::length_error);
    EXPECT_EQ("keep", out);
    EXPECT_TRUE(file.reads.empty());
}

TEST(StreamTest, ReadAtAndWriteAtRestoreThePosition) {
    {
        FakeFile file("0123456789");
        file.position = 7;
        char buffer[4] = {};
        EXPECT_EQ(3u, file.ReadAt(2, buffer, 3));
        EXPECT_STREQ("234", buffer);
        EXPECT_EQ(7u, file.position);
        EXPECT_EQ((std::vector<std::int64_t>{2, 7}), file.seeks);
    }
    {
        // Written at the beginning, the position stays at the old end.
        FakeFile file("0123456789");
        file.position = 10;
        EXPECT_EQ(2u, file.WriteAt(0, "ab", 2));
        EXPECT_EQ("ab23456789", file.data);
        EXPECT_EQ(10u, file.position);
    }
    {
        // The unsigned offset reaches Seek as the signed value of the same bits.
        FakeFile file("x");
        char c;
        file.ReadAt(~std::uint64_t(0), &c, 1);
        EXPECT_EQ(-1, file.seeks.at(0));
    }
}

TEST(StreamTest, ReadAtAndWriteAtFailures) {
    struct Row {
        const char* name;
        bool write;
        int failSeek;
        bool failTransfer;
        const char* expectedWhat;
        std::vector<std::int64_t> expectedSeeks;
        int expectedTransfers;
    };
    const Row rows[] = {
        {"read throws", false, -1, true, "read", {2, 7}, 1},
        {"write throws", true, -1, true, "write", {2, 7}, 1},
        {"seek throws first: no read", false, 0, false, "seek", {2}, 0},
        {"seek throws first: no write", true, 0, false, "seek", {2}, 0},
        {"restoring fails after a good read", false, 1, false, "seek", {2, 7}, 1},
        {"restoring fails while the read throws", false, 1, true, "read", {2, 7}, 1},
        {"restoring fails while the write throws", true, 1, true, "write", {2, 7}, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        FakeFile file("0123456789");
        file.position = 7;
        file.failSeek = row.failSeek;
        if (row.failTransfer) {
            file.failRead = 0;
            file.failWrite = true;
        }
        char buffer[3] = {'a', 'b', 'c'};
        try {
            if (row.write)
                file.WriteAt(2, buffer, 3);
            else
                file.ReadAt(2, buffer, 3);
            ADD_FAILURE() << "nothing thrown";
        } catch (const FakeFailure& e) {
            EXPECT_EQ(row.expectedWhat, e.what);
        }
        EXPECT_EQ(row.expectedSeeks, file.seeks);
        EXPECT_EQ(row.expectedTransfers,
                  row.write ? file.writes : static_cast<int>(file.reads.size()));
        if (row.failSeek != 1) {
            EXPECT_EQ(7u, file.position);
        }
    }
}

TEST(StreamTest, BooleanTestFollowsIsOpen) {
    static_assert(!std::is_convertible<Stream, bool>::value, "only an explicit test");
    static_assert(!std::is_convertible<Stream, int>::value, "no arithmetic");
    FakeFile file("");
    EXPECT_TRUE(static_cast<bool>(file));
    EXPECT_TRUE(file ? true : false);
    file.Close();
    EXPECT_FALSE(static_cast<bool>(file));
    EXPECT_TRUE(!file);
}
