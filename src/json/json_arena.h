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
//
// The chunks cut during one decode belong to that decode's tree alone. When
// the tree's root dies and no value below it was retained from outside
// since the decode, every value of those chunks dies with it; the chunks
// are then freed at once instead of by walking the tree.

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace lorvane::json_detail {

struct alignas(16) ArenaChunk {
  std::atomic<std::uint32_t> live;
  std::uint32_t size;
  // While waiting in the free pool: the next free chunk. While in use: the
  // chunk the same decode cut before this one.
  ArenaChunk* next;
  // In the chunk that holds a tree's root: that root, and the most recent
  // chunk of its decode (the head of the `next` list). Null elsewhere.
  const void* root;
  ArenaChunk* treeChunks;
  // Set once a value of this chunk other than the root gains a reference
  // from outside its tree.
  std::atomic<std::uint8_t> shared;
};

inline constexpr std::size_t kArenaAlignment = 16;
inline constexpr std::size_t kArenaMaxChunk = 64 * 1024;
// Blocks at least this large get a malloc of their own.
inline constexpr std::size_t kArenaLargeBlock = 8 * 1024;

// Drops `count` values from the chunk's live count, freeing it at zero.
void releaseChunkValues(ArenaChunk* chunk, std::uint32_t count) noexcept;

// Frees every chunk of the tree whose root is `root` when none of them
// holds a value shared outside the tree; false (nothing freed) otherwise.
bool releaseTree(ArenaChunk* rootChunk, const void* root) noexcept;

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

  // Starts a new list of the chunks cut from here on.
  void startTree() noexcept { treeChunks_ = nullptr; }
  // Records `root`, cut from this arena's chunks since startTree, as the
  // root of a tree that holds every value cut since then and nothing else
  // that is counted, so that releaseTree may free it whole.
  void finishTree(const void* root, std::uint16_t rootOffset) noexcept {
    ArenaChunk* chunk = chunkAt(root, rootOffset);
    chunk->root = root;
    chunk->treeChunks = treeChunks_;
    treeChunks_ = nullptr;
  }

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
  ArenaChunk* treeChunks_ = nullptr;
};

}  // namespace lorvane::json_detail
