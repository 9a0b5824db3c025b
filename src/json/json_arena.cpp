#include "json/json_arena.h"

#include <cstdlib>
#include <new>

namespace lorvane::json_detail {

void releaseChunkValues(ArenaChunk* chunk, std::uint32_t count) noexcept {
  if (count == 0) return;
  if (chunk->live.fetch_sub(count, std::memory_order_acq_rel) == count) {
    chunk->live.~atomic();
    std::free(chunk);
  }
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
    void* memory = std::aligned_alloc(kArenaAlignment, bytes);
    if (!memory) throw std::bad_alloc();
    return {memory, false, 0};
  }
  retire();
  std::size_t size = nextChunkSize_;
  while (size < bytes + sizeof(ArenaChunk)) size *= 2;
  // Documents that need many chunks get bigger ones, up to the offset limit.
  if (nextChunkSize_ < kArenaMaxChunk) nextChunkSize_ *= 2;
  void* memory = std::aligned_alloc(kArenaAlignment, size);
  if (!memory) throw std::bad_alloc();
  chunk_ = new (memory) ArenaChunk{};
  chunk_->live.store(kBias, std::memory_order_relaxed);
  cursor_ = static_cast<char*>(memory) + sizeof(ArenaChunk);
  end_ = static_cast<char*>(memory) + size;
  char* block = cursor_;
  cursor_ += bytes;
  allocated_ = 1;
  return {block, true, static_cast<std::uint16_t>((block - chunkBase()) / kArenaAlignment)};
}

}  // namespace lorvane::json_detail
