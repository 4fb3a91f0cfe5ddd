// 32-bit handle values shared by the module, the skins and the host.
//
// Every platform object that the system's code holds by handle (registry
// keys, mutexes, device contexts, bitmaps, fonts, windows) lives in a table of
// the platform library and is named by a 32-bit value, so that fixed-layout
// records keep their offsets on 64-bit Linux and a handle made by one
// deliverable is valid in the others.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace ss {

using HANDLE32 = std::uint32_t;

// A thread-safe map from handle values to owned objects of type T. Handles are
// never 0 and never reused while the table lives (they count up from `first`,
// which lets each kind of handle have values of its own).
template <typename T>
class HandleTable {
 public:
  explicit HandleTable(std::uint32_t first) : next_(first) {}

  std::uint32_t Add(std::shared_ptr<T> obj) {
    std::lock_guard<std::mutex> lock(mu_);
    std::uint32_t h = next_++;
    if (next_ == 0) next_ = 1;
    map_.emplace(h, std::move(obj));
    return h;
  }

  std::shared_ptr<T> Get(std::uint32_t h) const {
    std::lock_guard<std::mutex> lock(mu_);
    auto it = map_.find(h);
    return it == map_.end() ? nullptr : it->second;
  }

  // Removes the handle; returns the object it named (null when unknown).
  std::shared_ptr<T> Remove(std::uint32_t h) {
    std::lock_guard<std::mutex> lock(mu_);
    auto it = map_.find(h);
    if (it == map_.end()) return nullptr;
    auto obj = std::move(it->second);
    map_.erase(it);
    return obj;
  }

  std::size_t Size() const {
    std::lock_guard<std::mutex> lock(mu_);
    return map_.size();
  }

 private:
  mutable std::mutex mu_;
  std::uint32_t next_;
  std::unordered_map<std::uint32_t, std::shared_ptr<T>> map_;
};

}  // namespace ss
