#pragma once

// Internal to the codec: the chunked allocator the decoder builds values in.
//
// A chunk is one malloc block that values are cut from by bumping a pointer.
// It counts its live values and frees itself when the last one dies, so a
// value can outlive the decode that made it and no value is ever freed one
// malloc at a time. A value finds its chunk from the 16-bit offset in its
// header. Chunks stay below the C library's mmap threshold (128 KiB by
// default), so their memory is reused from the heap instead of being
// mapped, faulted in and unmapped on every decode; and each thread keeps a
// few free chunks for its next decode, because the C library returns the
// top of the heap to the system as soon as a document's chunks are freed.

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace lorvane::json_detail {

struct alignas(16) ArenaChunk {
  std::atomic<std::uint32_t> live;
  std::uint32_t size;
  ArenaChunk* next;  // while waiting in the free pool
};

inline constexpr std::size_t kArenaAlignment = 16;
inline constexpr std::size_t kArenaMaxChunk = 64 * 1024;
// Blocks at least this large get a malloc of their own.
inline constexpr std::size_t kArenaLargeBlock = 8 * 1024;

// Drops `count` values from the chunk's live count, freeing it at zero.
void releaseChunkValues(ArenaChunk* chunk, std::uint32_t count) noexcept;

inline ArenaChunk* chunkAt(const void* block, std::uint16_t offset) noexcept {
  return reinterpret_cast<ArenaChunk*>(const_cast<char*>(static_cast<const char*>(block)) -
                                       std::size_t{offset} * kArenaAlignment);
}

class Arena {
 public:
  Arena() = default;
  Arena(const Arena&) = delete;
  Arena& operator=(const Arena&) = delete;
  ~Arena() { retire(); }

  struct Block {
    void* memory;
    bool inArena;          // false: a malloc block of its own
    std::uint16_t offset;  // chunk offset, for arena blocks
  };

  // Memory for one value of `bytes` bytes, 16-byte aligned. Throws
  // std::bad_alloc when memory runs out.
  Block allocate(std::size_t bytes) {
    bytes = (bytes + kArenaAlignment - 1) & ~(kArenaAlignment - 1);
    if (bytes <= static_cast<std::size_t>(end_ - cursor_)) {
      char* memory = cursor_;
      cursor_ += bytes;
      // Fresh lines, ahead of the writes that will fill them.
      __builtin_prefetch(cursor_ + 512, 1);
      ++allocated_;
      return {memory, true, static_cast<std::uint16_t>((memory - chunkBase()) / kArenaAlignment)};
    }
    return allocateSlow(bytes);
  }

  // Hands the current chunk over to its values; the next allocation starts
  // a new one.
  void retire() noexcept;

 private:
  // While the arena still cuts values from a chunk, the chunk's count holds
  // this bias, so values dying early cannot free it under the arena.
  static constexpr std::uint32_t kBias = 0x80000000u;

  char* chunkBase() const noexcept { return reinterpret_cast<char*>(chunk_); }
  Block allocateSlow(std::size_t bytes);

  ArenaChunk* chunk_ = nullptr;
  char* cursor_ = nullptr;
  char* end_ = nullptr;
  std::uint32_t allocated_ = 0;
  std::size_t nextChunkSize_ = 16 * 1024;
};

}  // namespace lorvane::json_detail
