// The file helpers read ahead of the loader: what they deliver, and where they stand, must be
// what one platform read per request would give, whatever the requests' sizes and seeks.
#include <gtest/gtest.h>

#include <string>

#include "app/load_log.h"
#include "log/block_reader.h"
#include "log/file_reader.h"
#include "log/loader.h"
#include "test_support.h"

namespace {

constexpr unsigned int kReadAhead = 4096;  // the helpers' read-ahead, in bytes

std::string Pattern(size_t size, int seed = 0) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + seed) % 251);
    return bytes;
}

class ReadAhead : public test::ProgramTest {
protected:
    HANDLE Open(const std::string& path, const std::string& bytes) {
        fake::AddFile(path, bytes);
        HANDLE file = FileOpen(path.c_str());
        EXPECT_NE(file, INVALID_HANDLE_VALUE);
        return file;
    }
    // Reads n bytes and checks them against the file's bytes at the position before the read.
    void ExpectRead(HANDLE file, const std::string& content, unsigned int n) {
        unsigned int at = FileTell(file);
        std::string buffer(n, '\xEE');
        ASSERT_EQ(FileRead(file, buffer.data(), n), 0) << "read of " << n << " at " << at;
        ASSERT_EQ(buffer, content.substr(at, n)) << "read of " << n << " at " << at;
        ASSERT_EQ(FileTell(file), at + n);
    }
};

TEST_F(ReadAhead, ReadsOfEverySizeDeliverTheFileInOrderAcrossTheReadAheadsEdges) {
    const std::string content = Pattern(5 * kReadAhead + 321);
    HANDLE file = Open("C:\\log.bin", content);
    // Small reads that end exactly at the edge, one that straddles it, reads as long as the
    // read-ahead and longer, and one from inside it that runs past its end.
    for (unsigned int n : {1u, 2u, kReadAhead - 3, 8u, 4u, kReadAhead - 9, kReadAhead, 17u, kReadAhead + 5, 518u, 3u})
        ExpectRead(file, content, n);
    EXPECT_LE(fake::CallCount("ReadFile"), 7);
    FileClose(file);
}

TEST_F(ReadAhead, ASeekAnywhereReadsFromThere) {
    const std::string content = Pattern(3 * kReadAhead);
    HANDLE file = Open("C:\\log.bin", content);
    ExpectRead(file, content, 10);
    FileSeek(file, 4);  // back, into bytes already handed out
    ExpectRead(file, content, 6);
    FileSeek(file, 100);  // forward, into bytes read ahead
    ExpectRead(file, content, 8);
    FileSeek(file, 2 * kReadAhead + 1);  // past everything read so far
    ExpectRead(file, content, kReadAhead - 2);
    FileSeek(file, 0);
    ExpectRead(file, content, 2);
    FileClose(file);
}

TEST_F(ReadAhead, AReadPastTheEndDeliversWhatThereIsAndFails) {
    const std::string content = Pattern(kReadAhead + 10);
    HANDLE file = Open("C:\\log.bin", content);
    ExpectRead(file, content, kReadAhead - 2);
    std::string buffer(20, '\xEE');
    EXPECT_EQ(FileRead(file, buffer.data(), 20), 1);
    EXPECT_EQ(buffer.substr(0, 12), content.substr(kReadAhead - 2));
    EXPECT_EQ(buffer.substr(12), std::string(8, '\xEE'));  // nothing behind the bytes that came
    EXPECT_EQ(FileTell(file), content.size());
    EXPECT_EQ(FileRead(file, buffer.data(), 1), 1);
    EXPECT_EQ(FileTell(file), content.size());

    // A position beyond the end is accepted; a read there is short and stays there.
    FileSeek(file, static_cast<unsigned int>(content.size()) + 50);
    EXPECT_EQ(FileRead(file, buffer.data(), 4), 1);
    EXPECT_EQ(FileTell(file), content.size() + 50);
    FileSeek(file, 3);
    ExpectRead(file, content, 5);
    FileClose(file);
}

TEST_F(ReadAhead, AFailedPlatformReadIsAFailedRead) {
    const std::string content = Pattern(2 * kReadAhead);
    HANDLE file = Open("C:\\log.bin", content);
    ExpectRead(file, content, 10);
    fake::FailCall("ReadFile", 1, 1, ERROR_NOT_READY);
    std::string buffer(kReadAhead, '\xEE');
    EXPECT_EQ(FileRead(file, buffer.data(), kReadAhead - 1), 1);
    // The bytes that were read ahead did arrive.
    EXPECT_EQ(buffer.substr(0, kReadAhead - 10), content.substr(10, kReadAhead - 10));
    FileSeek(file, 5);
    ExpectRead(file, content, 100);
    FileClose(file);
}

TEST_F(ReadAhead, TwoFilesReadInTurnEachKeepTheirPlace) {
    const std::string first = Pattern(2 * kReadAhead, 1), second = Pattern(2 * kReadAhead, 2);
    HANDLE a = Open("C:\\a.bin", first);
    HANDLE b = Open("C:\\b.bin", second);
    ExpectRead(a, first, 5);
    ExpectRead(b, second, 7);
    ExpectRead(a, first, 9);
    EXPECT_EQ(FileTell(b), 7u);
    ExpectRead(b, second, kReadAhead);
    ExpectRead(a, first, 3);
    FileClose(a);
    ExpectRead(b, second, 11);
    FileClose(b);
}

TEST_F(ReadAhead, AHandleThatComesBackForAnotherFileGetsNothingOfTheOld) {
    HANDLE old = Open("C:\\old.bin", Pattern(100, 3));
    std::string buffer(4, '\0');
    EXPECT_EQ(FileRead(old, buffer.data(), 4), 0);
    // The file goes without the helpers, and the handle is given out again.
    fake::Reset();
    const std::string content = Pattern(100, 4);
    HANDLE file = Open("C:\\new.bin", content);
    ASSERT_EQ(file, old);
    ExpectRead(file, content, 10);
    FileClose(file);
}

TEST_F(ReadAhead, ALogOfAThousandFilesLoadsInAFewPlatformReads) {
    tidewell::LogContent content;
    content.messages = test::Catalogue();
    content.files.emplace();
    for (int i = 0; i < 1000; ++i) content.files->push_back({".\\data\\sub" + std::to_string(i / 20), "file" + std::to_string(i) + ".dat", 0});
    test::InstallProgram(content);
    test::StartRun();
    ASSERT_EQ(LoadUninstallLog(), 1);
    ASSERT_EQ(run.fileCount, 1000u);
    EXPECT_STREQ(run.files[999]->name, "file999.dat");
    // About 30 bytes a record: a platform read per 4 KB, and a few for each block.
    EXPECT_LE(fake::CallCount("ReadFile"), 20);
    test::EndRun();
}

}  // namespace
