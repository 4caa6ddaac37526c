#include "transfer/network.h"

#include <curl/curl.h>

bool StartNetwork() {
    return curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
}

void StopNetwork() {
    curl_global_cleanup();
}
