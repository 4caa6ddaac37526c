# Run after libcurl is configured: the threaded resolver must be in, with
# Windows threads, or a stalled name lookup would hold the caller's thread.
#   cmake -DCONFIG=<build>/lib/curl_config.h -P check_curl.cmake
file(STRINGS "${CONFIG}" threads REGEX "^#define USE_THREADS_WIN32 1$")
if(NOT threads)
    message(FATAL_ERROR "libcurl configured without the threaded resolver (${CONFIG})")
endif()
