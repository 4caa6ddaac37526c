// Runs one whole download without a window, as the program would after the
// main dialog opened and Download was pressed: the kill and resume tests
// start it as a separate process.
//
//   velmora_headless_download PROGRAM_PATH PROXY [RETRY_PAUSE_MS]
//
// Exit status: the worker's result (0 or 9), or 2 when the preparation failed.

#include <curl/curl.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "engine/download_preparation.h"
#include "engine/download_state.h"
#include "framework/headless_dialog_items.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        return 64;
    }
    curl_global_init(CURL_GLOBAL_DEFAULT);
    HeadlessDialogItems items;
    DownloadState state(items);
    state.m_strProgramPath = argv[1];
    state.SetProxy(argv[2]);
    if (argc > 3) {
        state.m_nRetryPauseMs = std::atoi(argv[3]);
    }
    if (!PrepareDownload(state)) {
        return 2;
    }
    state.OnDownload();
    state.JoinWorker();
    return state.m_nWorkerResult.load();
}
