#include "net/data_decompressor.h"

#include <gtest/gtest.h>

#include <zlib.h>

#include <random>
#include <string>

#include "support/net/nginx_server.h"
#include "support/net/scripted_server.h"

namespace lorvane {
namespace {

Data bytesOf(const std::string& text) {
  return Data(text.begin(), text.end());
}
std::string textOf(const Data& data) {
  return std::string(data.begin(), data.end());
}

std::string sampleText(std::size_t size) {
  std::string text;
  std::mt19937 random(7);
  const char* words[] = {"lesson ", "orvel ", "speak ", "english ", "video ", "\n"};
  while (text.size() < size) text += words[random() % 6];
  text.resize(size);
  return text;
}

TEST(DataDecompressorTest, InflatesGzipAndZlibWholeAndInPieces) {
  std::string text = sampleText(200000);
  Data gzip = bytesOf(testing::gzipText(text));
  ErrorPtr error;
  auto whole = DataDecompressor::uncompressData(gzip, &error);
  ASSERT_TRUE(whole) << (error ? error->localizedDescription() : "");
  EXPECT_EQ(textOf(*whole), text);

  // Feeding one byte at a time must neither stall nor lose bytes.
  auto inflater = DataDecompressor::decompressor();
  ASSERT_TRUE(inflater && inflater->streamReady());
  std::string pieces;
  for (std::uint8_t byte : gzip) {
    auto piece = inflater->uncompressBytes(&byte, 1, &error);
    ASSERT_TRUE(piece);
    pieces += textOf(*piece);
  }
  EXPECT_EQ(pieces, text);
  EXPECT_TRUE(inflater->reachedEnd());

  // A zlib header is detected as well.
  Data zlib(compressBound(text.size()));
  uLongf size = zlib.size();
  ASSERT_EQ(compress(zlib.data(), &size, reinterpret_cast<const Bytef*>(text.data()), text.size()),
            Z_OK);
  zlib.resize(size);
  auto fromZlib = DataDecompressor::uncompressData(zlib, &error);
  ASSERT_TRUE(fromZlib);
  EXPECT_EQ(textOf(*fromZlib), text);
}

TEST(DataDecompressorTest, HighlyCompressibleDataComesOutWhole) {
  // Output many times the input size exercises the growth of the buffer.
  std::string text(5'000'000, 'a');
  auto result = DataDecompressor::uncompressData(bytesOf(testing::gzipText(text)));
  ASSERT_TRUE(result);
  EXPECT_EQ(result->size(), text.size());
}

TEST(DataDecompressorTest, TruncatedStreamGivesWhatItHasWithoutError) {
  std::string text = sampleText(50000);
  Data gzip = bytesOf(testing::gzipText(text));
  gzip.resize(gzip.size() / 2);
  ErrorPtr error;
  auto inflater = DataDecompressor::decompressor();
  auto result = inflater->uncompressBytes(gzip.data(), gzip.size(), &error);
  ASSERT_TRUE(result);
  EXPECT_FALSE(error);
  EXPECT_FALSE(inflater->reachedEnd());
  EXPECT_GT(result->size(), 0u);
  EXPECT_EQ(textOf(*result), text.substr(0, result->size()));
}

TEST(DataDecompressorTest, GarbageFailsWithTheZlibCode) {
  Data garbage = bytesOf("this is certainly not a gzip stream at all");
  ErrorPtr error;
  auto result = DataDecompressor::uncompressData(garbage, &error);
  EXPECT_FALSE(result);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->domain, "HTTPRequestErrorDomain");
  EXPECT_EQ(error->code, 11);
  EXPECT_EQ(error->localizedDescription(), "Decompression of data failed with code -3");
}

TEST(DataDecompressorTest, EmptyInputGivesNothingAndNoError) {
  ErrorPtr error;
  EXPECT_FALSE(DataDecompressor::uncompressData(Data(), &error));
  EXPECT_FALSE(error);
  auto inflater = DataDecompressor::decompressor();
  EXPECT_FALSE(inflater->uncompressBytes(nullptr, 0, &error));
  EXPECT_FALSE(error);
}

TEST(DataDecompressorTest, OutputPastTheLimitFails) {
  Data bomb = bytesOf(testing::gzipText(std::string(10'000'000, '\0')));
  ErrorPtr error;
  auto result = DataDecompressor::uncompressData(bomb, &error, 1'000'000);
  EXPECT_FALSE(result);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code, 11);
  EXPECT_EQ(error->localizedDescription(), "Decompression of data failed with code -4");
}

TEST(DataDecompressorTest, ClosedInflaterRefusesWork) {
  auto inflater = DataDecompressor::decompressor();
  EXPECT_FALSE(inflater->closeStream());
  EXPECT_FALSE(inflater->closeStream());  // twice is harmless
  std::uint8_t byte = 0x1f;
  ErrorPtr error;
  EXPECT_FALSE(inflater->uncompressBytes(&byte, 1, &error));
  EXPECT_TRUE(error);
}

TEST(DataDecompressorTest, AForgedTrailerDoesNotDecideTheBufferSize) {
  std::string text = sampleText(1000);
  std::string gzip = testing::gzipText(text);
  // Four bytes after the member pose as its trailer: an inflated size of
  // 1000 times the compressed one, which deflate could just about reach.
  const std::uint32_t claimed = static_cast<std::uint32_t>(gzip.size() * 1000);
  std::string forged = gzip;
  for (int i = 0; i < 4; ++i) forged += static_cast<char>((claimed >> (8 * i)) & 0xff);
  bool reachedEnd = false;
  auto data = DataDecompressor::inflateWhole(reinterpret_cast<const std::uint8_t*>(forged.data()),
                                             forged.size(), 1ull << 40, &reachedEnd);
  ASSERT_TRUE(data);
  EXPECT_EQ(textOf(*data), text);
  EXPECT_LT(data->capacity(), text.size() * 8) << "memory set aside on the trailer's word";

  // An honest trailer sizes the buffer exactly.
  auto exact = DataDecompressor::inflateWhole(reinterpret_cast<const std::uint8_t*>(gzip.data()),
                                              gzip.size(), 1ull << 40, &reachedEnd);
  ASSERT_TRUE(exact);
  EXPECT_TRUE(reachedEnd);
  EXPECT_EQ(exact->capacity(), text.size());
}

TEST(DataDecompressorTest, MembersFollowingEachOtherAllInflate) {
  std::string first = sampleText(30000);
  std::string second = sampleText(5000);
  std::string first_gzip = testing::gzipText(first);
  Data both = bytesOf(first_gzip + testing::gzipText(second));
  auto whole = DataDecompressor::uncompressData(both);
  ASSERT_TRUE(whole);
  EXPECT_EQ(textOf(*whole), first + second);

  // Split exactly at the boundary of the members, and inside the second.
  for (std::size_t cut : {first_gzip.size(), first_gzip.size() + 7}) {
    auto inflater = DataDecompressor::decompressor();
    auto head = inflater->uncompressBytes(both.data(), cut);
    auto rest = inflater->uncompressBytes(both.data() + cut, both.size() - cut);
    ASSERT_TRUE(head && rest) << cut;
    EXPECT_EQ(textOf(*head) + textOf(*rest), first + second) << cut;
    EXPECT_TRUE(inflater->reachedEnd());
  }
}

TEST(DataDecompressorTest, AFileCutInsideTheStreamFailsToInflate) {
  testing::TemporaryDirectory folder;
  std::string gzip = testing::gzipText(sampleText(50000));
  folder.write("cut.gz", gzip.substr(0, gzip.size() - 30));
  folder.write("whole.gz", gzip);
  ErrorPtr error;
  EXPECT_FALSE(
      DataDecompressor::uncompressDataFromFile(folder.file("cut.gz"), folder.file("cut"), &error));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code, kCompressionError);
  EXPECT_TRUE(DataDecompressor::uncompressDataFromFile(folder.file("whole.gz"),
                                                       folder.file("whole"), &error));
}

}  // namespace
}  // namespace lorvane
