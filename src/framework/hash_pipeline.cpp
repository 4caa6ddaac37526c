#include "framework/hash_pipeline.h"

#include "framework/sha256.h"

HashPipeline::HashPipeline(Sha256& hash) : m_hash(hash), m_thread([this] { Run(); }) {}

HashPipeline::~HashPipeline() {
    Wait();
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

void HashPipeline::Feed(const char* data, std::size_t length) {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_data == nullptr; });
    m_data = data;
    m_length = length;
    m_changed.notify_all();
}

void HashPipeline::Wait() {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_data == nullptr; });
}

void HashPipeline::Run() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_data != nullptr || m_stopping; });
        if (m_data == nullptr) {
            return;
        }
        const char* data = m_data;
        const std::size_t length = m_length;
        lock.unlock();
        m_hash.Update(data, length);
        lock.lock();
        m_data = nullptr;
        m_changed.notify_all();
    }
}
