#include "json/json_arena.h"

#include <cstdint>
#include <cstdlib>
#include <new>

namespace lorvane::json_detail {

namespace {

// Free chunks of the largest size, kept per thread for reuse.
class ChunkPool {
 public:
  static constexpr std::size_t kMaxChunks = 64;  // 4 MiB

  ~ChunkPool();
  ArenaChunk* take() noexcept {
    ArenaChunk* chunk = first_;
    if (chunk) {
      first_ = chunk->next;
      --count_;
    }
    return chunk;
  }
  bool give(ArenaChunk* chunk) noexcept {
    if (count_ == kMaxChunks) return false;
    chunk->next = first_;
    first_ = chunk;
    ++count_;
    return true;
  }

 private:
  ArenaChunk* first_ = nullptr;
  std::size_t count_ = 0;
};

// Trivially destructible, so it can still be read while the thread's other
// thread-local objects are torn down after the pool.
thread_local bool poolGone = false;
thread_local ChunkPool pool;

ChunkPool::~ChunkPool() {
  poolGone = true;
  while (ArenaChunk* chunk = take()) std::free(chunk);
}

void freeChunk(ArenaChunk* chunk) noexcept {
  if (chunk->size == kArenaMaxChunk && !poolGone && pool.give(chunk)) return;
  std::free(chunk);
}

ArenaChunk* newChunk(std::size_t size) {
  ArenaChunk* chunk = size == kArenaMaxChunk && !poolGone ? pool.take() : nullptr;
  if (!chunk) {
    void* memory = std::aligned_alloc(kArenaAlignment, size);
    if (!memory) throw std::bad_alloc();
    chunk = new (memory) ArenaChunk{};
    // A size that does not fit the field is recorded as 0, which no pool
    // takes.
    chunk->size = size <= 0xFFFFFFFFu ? static_cast<std::uint32_t>(size) : 0;
  }
  chunk->next = nullptr;
  chunk->root = nullptr;
  chunk->treeChunks = nullptr;
  chunk->shared.store(0, std::memory_order_relaxed);
  return chunk;
}

}  // namespace

void releaseChunkValues(ArenaChunk* chunk, std::uint32_t count) noexcept {
  if (count == 0) return;
  if (chunk->live.fetch_sub(count, std::memory_order_acq_rel) == count) freeChunk(chunk);
}

bool releaseTree(ArenaChunk* rootChunk, const void* root) noexcept {
  if (rootChunk->root != root) return false;
  for (ArenaChunk* chunk = rootChunk->treeChunks; chunk; chunk = chunk->next) {
    if (chunk->shared.load(std::memory_order_relaxed)) return false;
  }
  ArenaChunk* chunk = rootChunk->treeChunks;
  while (chunk) {
    ArenaChunk* next = chunk->next;
    freeChunk(chunk);
    chunk = next;
  }
  return true;
}

void Arena::retire() noexcept {
  if (!chunk_) return;
  ArenaChunk* chunk = chunk_;
  std::uint32_t unused = kBias - allocated_;
  chunk_ = nullptr;
  cursor_ = end_ = nullptr;
  allocated_ = 0;
  releaseChunkValues(chunk, unused);
}

Arena::Block Arena::allocateSlow(std::size_t bytes) {
  if (bytes >= kArenaLargeBlock) {
    // A chunk of its own, holding this one value.
    if (bytes > SIZE_MAX - sizeof(ArenaChunk)) throw std::bad_alloc();
    ArenaChunk* own = newChunk(sizeof(ArenaChunk) + bytes);
    own->live.store(1, std::memory_order_relaxed);
    own->next = treeChunks_;
    treeChunks_ = own;
    return {reinterpret_cast<char*>(own) + sizeof(ArenaChunk), true,
            static_cast<std::uint16_t>(sizeof(ArenaChunk) / kArenaAlignment)};
  }
  retire();
  std::size_t size = nextChunkSize_;
  while (size < bytes + sizeof(ArenaChunk)) size *= 2;
  // Documents that need many chunks get bigger ones, up to the offset limit.
  if (nextChunkSize_ < kArenaMaxChunk) nextChunkSize_ *= 2;
  chunk_ = newChunk(size);
  chunk_->live.store(kBias, std::memory_order_relaxed);
  chunk_->next = treeChunks_;
  treeChunks_ = chunk_;
  cursor_ = reinterpret_cast<char*>(chunk_) + sizeof(ArenaChunk);
  end_ = reinterpret_cast<char*>(chunk_) + size;
  char* block = cursor_;
  cursor_ += bytes;
  allocated_ = 1;
  return {block, true, static_cast<std::uint16_t>((block - chunkBase()) / kArenaAlignment)};
}

}  // namespace lorvane::json_detail
