#pragma once

// The application: the start-up sequence. It decides where the program runs
// from, leaves the desktop launcher, and then either starts the copy it made
// or shows the download window until it closes.
class DownloadApp {
  public:
    // Always false: the program ends when it returns.
    bool InitInstance(int argc, const char* const* argv);
};

extern DownloadApp theApp;
