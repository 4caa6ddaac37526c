#include "transfer/kept_connection.h"

#include <curl/curl.h>

#include <mutex>

struct KeptConnection::Cache {
    CURLSH* share = curl_share_init();
    // libcurl asks for a lock per kind of data it shares; the preparation
    // and the worker use it from two threads, one after the other.
    std::mutex locks[CURL_LOCK_DATA_LAST];

    Cache() {
        curl_share_setopt(share, CURLSHOPT_LOCKFUNC, &Lock);
        curl_share_setopt(share, CURLSHOPT_UNLOCKFUNC, &Unlock);
        curl_share_setopt(share, CURLSHOPT_USERDATA, this);
        curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_CONNECT);
        curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
    }
    ~Cache() { curl_share_cleanup(share); }

    static void Lock(CURL*, curl_lock_data data, curl_lock_access, void* self) {
        static_cast<Cache*>(self)->locks[data].lock();
    }
    static void Unlock(CURL*, curl_lock_data data, void* self) {
        static_cast<Cache*>(self)->locks[data].unlock();
    }
};

KeptConnection::KeptConnection() : m_cache(std::make_unique<Cache>()) {}

KeptConnection::~KeptConnection() = default;

void KeptConnection::ConnectTo(const std::string& address) {
    m_connectTo = address;
}

void* KeptConnection::Share() const {
    return m_cache->share;
}

bool KeptConnection::ExpectKept() const {
    return m_kept && std::chrono::steady_clock::now() - m_lastUse <
                         std::chrono::seconds(kKeptConnectionIdleSeconds);
}

void KeptConnection::Used(bool kept) {
    m_kept = kept;
    m_lastUse = std::chrono::steady_clock::now();
}
