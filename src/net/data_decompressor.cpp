#include "net/data_decompressor.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <fstream>

#include "net/transfer_limits.h"

namespace lorvane {

namespace {
// 15 window bits plus 32: let zlib recognise a zlib or a gzip header.
constexpr int kWindowBits = 15 + 32;
// Growing by half the input alone would never grow for a one-byte piece.
constexpr std::size_t kMinimumGrowth = 4096;
}  // namespace

namespace {
// The two magic bytes of a gzip member (a lone first byte may be the start
// of one split across pieces).
bool startsGzipMember(const std::uint8_t* bytes, std::size_t length) {
  return length >= 1 && bytes[0] == 0x1f && (length == 1 || bytes[1] == 0x8b);
}
}  // namespace

struct DataDecompressor::Stream {
  z_stream z{};
};

DataDecompressor::DataDecompressor() : stream_(std::make_unique<Stream>()) {}

DataDecompressor::~DataDecompressor() {
  closeStream();
}

ErrorPtr DataDecompressor::decompressionError(int zlibCode, std::string reason) {
  char text[96];
  std::snprintf(text, sizeof text, "Decompression of data failed with code %hi",
                static_cast<short>(zlibCode));
  UserInfo info;
  info[kLocalizedDescriptionKey] = std::string(text);
  if (!reason.empty()) info[kLocalizedFailureReasonKey] = std::move(reason);
  return Error::make(kHTTPRequestErrorDomain, kCompressionError, std::move(info));
}

std::unique_ptr<DataDecompressor> DataDecompressor::decompressor(ErrorPtr* error) {
  std::unique_ptr<DataDecompressor> inflater(new DataDecompressor());
  int status = inflateInit2(&inflater->stream_->z, kWindowBits);
  if (status != Z_OK) {
    if (error) *error = decompressionError(status);
    return nullptr;
  }
  inflater->streamReady_ = true;
  return inflater;
}

ErrorPtr DataDecompressor::closeStream() {
  if (!streamReady_) return nullptr;
  streamReady_ = false;
  int status = inflateEnd(&stream_->z);
  return status == Z_OK ? nullptr : decompressionError(status);
}

std::optional<Data> DataDecompressor::uncompressBytes(const std::uint8_t* bytes, std::size_t length,
                                                      ErrorPtr* error, std::size_t sizeHint) {
  if (length == 0 || bytes == nullptr) return std::nullopt;
  if (!streamReady_) {
    if (error) *error = decompressionError(Z_STREAM_ERROR, "The inflater is closed");
    return std::nullopt;
  }
  Data output;
  if (reachedEnd_) {
    // Another gzip member may follow the one that ended; anything else
    // after the end of the stream means nothing.
    if (!startsGzipMember(bytes, length)) return output;
    if (inflateReset(&stream_->z) != Z_OK) {
      if (error) *error = decompressionError(Z_STREAM_ERROR);
      return std::nullopt;
    }
    reachedEnd_ = false;
  }

  z_stream& z = stream_->z;
  const std::size_t growth = std::max(length / 2, kMinimumGrowth);
  // One and a half times the input, unless the caller knows better; a hint
  // saves regrowing (and copying) a large output many times.
  output.resize(std::max(length + length / 2, sizeHint));
  z.next_in = const_cast<Bytef*>(bytes);
  z.avail_in = static_cast<uInt>(length);
  std::size_t produced = 0;
  // Keep going while input is left, and also while the last call filled the
  // output: zlib may still hold inflated bytes that did not fit.
  bool outputWasFull = false;
  while (z.avail_in != 0 || outputWasFull) {
    if (produced >= output.size()) output.resize(output.size() + growth);
    z.next_out = output.data() + produced;
    const auto room = static_cast<uInt>(output.size() - produced);
    z.avail_out = room;
    int status = inflate(&z, Z_NO_FLUSH);
    produced += room - z.avail_out;
    totalOut_ += room - z.avail_out;
    if (totalOut_ > maximumOutputLength_) {
      if (error) {
        *error =
            decompressionError(Z_MEM_ERROR, "The inflated data exceeds the limit of " +
                                                std::to_string(maximumOutputLength_) + " bytes");
      }
      return std::nullopt;
    }
    if (status == Z_STREAM_END) {
      reachedEnd_ = true;
      // A gzip file may hold several members, one after the other.
      if (z.avail_in == 0 || !startsGzipMember(z.next_in, z.avail_in)) break;
      if (inflateReset(&z) != Z_OK) {
        if (error) *error = decompressionError(Z_STREAM_ERROR);
        return std::nullopt;
      }
      reachedEnd_ = false;
      outputWasFull = z.avail_out == 0;
      continue;
    }
    if (status == Z_BUF_ERROR && z.avail_in == 0) break;  // nothing more to give yet
    if (status != Z_OK) {
      if (error) *error = decompressionError(status);
      return std::nullopt;
    }
    outputWasFull = z.avail_out == 0;
  }
  output.resize(produced);
  return output;
}

std::optional<Data> DataDecompressor::inflateWhole(const std::uint8_t* bytes, std::size_t length,
                                                   std::uint64_t maximumOutputLength,
                                                   bool* reachedEnd, ErrorPtr* error) {
  if (reachedEnd) *reachedEnd = false;
  if (length == 0) return std::nullopt;
  auto inflater = decompressor(error);
  if (!inflater) return std::nullopt;
  inflater->setMaximumOutputLength(maximumOutputLength);
  // A single gzip member ends with its inflated size modulo 2^32; trusted
  // only as a sizing hint, and only within the output ceiling.
  std::size_t hint = 0;
  if (length >= 18 && bytes[0] == 0x1f && bytes[1] == 0x8b) {
    const std::uint8_t* tail = bytes + length - 4;
    std::uint32_t size =
        static_cast<std::uint32_t>(tail[0]) | (static_cast<std::uint32_t>(tail[1]) << 8) |
        (static_cast<std::uint32_t>(tail[2]) << 16) | (static_cast<std::uint32_t>(tail[3]) << 24);
    // The trailer is the sender's word: believed only within a modest
    // ratio and the reservation limit, so a forged one cannot make us set
    // aside memory the body will never fill. Beyond that the output grows
    // as bytes really come out.
    std::uint64_t plausible =
        static_cast<std::uint64_t>(length) * TransferLimits::kMaximumTrustedInflationRatio;
    plausible = std::min<std::uint64_t>(
        {plausible, maximumOutputLength, TransferLimits::kMaximumReservation});
    if (size <= plausible) hint = size;
  }
  auto result = inflater->uncompressBytes(bytes, length, error, hint);
  if (reachedEnd) *reachedEnd = inflater->reachedEnd();
  if (ErrorPtr closeError = inflater->closeStream(); closeError && result) {
    if (error) *error = closeError;
    return std::nullopt;
  }
  return result;
}

std::optional<Data> DataDecompressor::uncompressData(const Data& data, ErrorPtr* error,
                                                     std::uint64_t maximumOutputLength) {
  return inflateWhole(data.data(), data.size(), maximumOutputLength, nullptr, error);
}

bool DataDecompressor::uncompressDataFromFile(const std::string& sourcePath,
                                              const std::string& destinationPath, ErrorPtr* error) {
  std::ifstream in(sourcePath, std::ios::binary);
  if (!in) {
    if (error) *error = decompressionError(Z_ERRNO, "Cannot read '" + sourcePath + "'");
    return false;
  }
  std::ofstream out(destinationPath, std::ios::binary | std::ios::trunc);
  if (!out) {
    if (error) *error = decompressionError(Z_ERRNO, "Cannot write '" + destinationPath + "'");
    return false;
  }
  auto inflater = decompressor(error);
  if (!inflater) return false;
  std::vector<std::uint8_t> buffer(256 * 1024);
  while (in) {
    in.read(reinterpret_cast<char*>(buffer.data()), static_cast<std::streamsize>(buffer.size()));
    auto got = static_cast<std::size_t>(in.gcount());
    if (got == 0) break;
    auto piece = inflater->uncompressBytes(buffer.data(), got, error);
    if (!piece) return false;
    out.write(reinterpret_cast<const char*>(piece->data()),
              static_cast<std::streamsize>(piece->size()));
    if (!out) {
      if (error) *error = decompressionError(Z_ERRNO, "Cannot write '" + destinationPath + "'");
      return false;
    }
  }
  // A file cut off inside the compressed stream is not the whole body.
  if (!inflater->reachedEnd()) {
    if (error) *error = decompressionError(Z_BUF_ERROR, "The compressed data ended early");
    return false;
  }
  out.close();
  if (!out) {
    if (error) *error = decompressionError(Z_ERRNO, "Cannot write '" + destinationPath + "'");
    return false;
  }
  return true;
}

}  // namespace lorvane
