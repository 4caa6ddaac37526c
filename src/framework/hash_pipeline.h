#pragma once

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <thread>

class Sha256;

// Feeds a hash on a thread of its own, one buffer at a time, so that hashing
// a buffer overlaps with filling the next one. A buffer handed over must
// stay unchanged until the next Feed or Wait returns.
class HashPipeline {
  public:
    explicit HashPipeline(Sha256& hash);
    ~HashPipeline();
    HashPipeline(const HashPipeline&) = delete;
    HashPipeline& operator=(const HashPipeline&) = delete;

    // Waits until the buffer fed before is hashed, then hands this one over.
    void Feed(const char* data, std::size_t length);
    // Returns once everything fed is hashed.
    void Wait();

  private:
    void Run();

    Sha256& m_hash;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    const char* m_data = nullptr;
    std::size_t m_length = 0;
    bool m_stopping = false;
    std::thread m_thread;
};
