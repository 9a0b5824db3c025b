#include "net/data_compressor.h"

#include <zlib.h>

#include <cstdio>

namespace lorvane {

ErrorPtr DataCompressor::compressionError(int zlibCode) {
  char text[96];
  std::snprintf(text, sizeof text, "Compression of data failed with code %hi",
                static_cast<short>(zlibCode));
  return Error::make(kHTTPRequestErrorDomain, kCompressionError, std::string(text));
}

std::optional<Data> DataCompressor::compressData(const Data& data, ErrorPtr* error) {
  z_stream z{};
  // 15 window bits plus 16: write a gzip header and trailer.
  int status = deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
  if (status != Z_OK) {
    if (error) *error = compressionError(status);
    return std::nullopt;
  }
  Data output(deflateBound(&z, static_cast<uLong>(data.size())) + 32);
  z.next_in = const_cast<Bytef*>(data.data());
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = output.data();
  z.avail_out = static_cast<uInt>(output.size());
  status = deflate(&z, Z_FINISH);
  std::size_t produced = output.size() - z.avail_out;
  deflateEnd(&z);
  if (status != Z_STREAM_END) {
    if (error) *error = compressionError(status);
    return std::nullopt;
  }
  output.resize(produced);
  return output;
}

}  // namespace lorvane
