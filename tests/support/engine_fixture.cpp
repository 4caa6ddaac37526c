#include "support/engine_fixture.h"

#include "support/wait.h"

EngineTest::EngineTest() : m_server(m_serverRoot.Path()) {
    g_currentPackage = kPackageMain;
    NewState();
}

EngineTest::~EngineTest() {
    m_state.reset();
    g_currentPackage = kPackageMain;
}

void EngineTest::NewState() {
    m_state.reset();
    m_state = std::make_unique<DownloadState>(m_items);
    m_state->m_strProgramPath = m_packageFolder / "VELMORA_QUINDLE_7";
    m_state->SetProxy(m_server.Address());
    m_state->m_nRetryPauseMs = 20;
}

int EngineTest::Download() {
    m_state->OnDownload();
    WaitForWorker();
    return m_state->m_nWorkerResult.load();
}

void EngineTest::WaitForWorker() {
    WaitFor([&] { return !m_state->IsDownloading(); }, "the worker to end");
}
