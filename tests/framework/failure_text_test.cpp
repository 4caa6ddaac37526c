#include "framework/failure_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>

#include "framework/build_config.h"
#include "framework/file_system.h"
#include "framework/user_report.h"

namespace {

std::vector<FailureKind> AllKinds() {
    std::vector<FailureKind> kinds;
    for (int k = 0; k <= static_cast<int>(kLastFailureKind); ++k) {
        kinds.push_back(static_cast<FailureKind>(k));
    }
    return kinds;
}

// Every subject set, each to `value`; a wrapping kind wraps a failure whose
// own sentence carries the same.
Failure WithEverySubject(FailureKind kind, const std::string& value) {
    Failure failure(kind);
    failure.path = value;
    failure.paths = {value, value};
    failure.name = value;
    failure.version = value;
    failure.otherVersion = value;
    failure.text = value;
    failure.number = 512;
    failure.milliseconds = 60000;
    failure.cause =
        std::make_shared<const Failure>(Failure::WithPath(FailureKind::CannotCreateFile, value));
    return failure;
}

// The sentence of each kind as the user reads it, with ordinary subjects.
// This is where the program's exact texts are checked.
TEST(FailureTextTest, EveryKindReadsAsItsOneWholeSentence) {
    const std::string page = config::kSingleFileDownloadPage;
    const std::string host = config::kPrimaryDownloadHost;
    const std::string advice =
        "\r\n\r\nIn most cases, this is caused by your firewall program blocking the download. "
        "You can temporarily turn off your firewall program and try again. If your firewall "
        "program indicates error or at risk status, please fix it first.\r\n\r\nIf your "
        "computer is behind a corporate firewall/proxy server, please click the Proxy button to "
        "set the server name and port.\r\n\r\nYou could also try to download the software as a "
        "single file:\r\n    " +
        page;
    const std::map<FailureKind, std::string> expected = {
        {FailureKind::System, SystemErrorText(0)},
        {FailureKind::Stopped, ""},
        {FailureKind::HostNameNotSpecified, "Host name not specified for connection"},
        {FailureKind::LibraryError, "v"},
        {FailureKind::FailedToConnect, "Failed to connect to the server."},
        {FailureKind::ProxyNeedsLogin,
         "The proxy server asks for a user name and password (status 407), which this program "
         "cannot give. Please set a proxy that needs no login."},
        {FailureKind::UnexpectedStatus,
         "The server answered with status 512 instead of sending the file."},
        {FailureKind::TransferCoding,
         "The server sent the file in a transfer coding this program does not accept (v)."},
        {FailureKind::BodyTooLong,
         "The server sent more than 512 bytes for this file; what arrived was discarded."},
        {FailureKind::CannotCreateFile, "Cannot create file: v"},
        {FailureKind::FailedToWriteFile, "Failed to write to file: v"},
        {FailureKind::Stalled, "The server sent nothing for 60 seconds; the connection timed out."},
        {FailureKind::TooSlow,
         "The server sent less than 512 bytes per second for 60 seconds; the connection was "
         "given up."},
        {FailureKind::DeadlineMissed, "The server did not send the whole file within 60 seconds."},
        {FailureKind::RangeRefused, "The server did not send the rest of the file as asked."},
        {FailureKind::PreparationTimeSpent, "The server did not send the package's files in time."},
        {FailureKind::CannotFindHomeDirectory, "Cannot find home directory"},
        {FailureKind::CannotFetchPackageFile, "Cannot create file: v" + advice},
        {FailureKind::Incompatible,
         "Your Velmora Quindle program is not compatible with the current release. Please "
         "download the newer version from " +
             host + " and try again. Thank you."},
        {FailureKind::IndexMalformed, "File error: v"},
        {FailureKind::IndexUnreadable, "Failed to read pkgindex file"},
        {FailureKind::ProductVersionNotSpecified, "Product version not specified"},
        {FailureKind::InternalError2, "Internal error 2"},
        {FailureKind::UnreadableResumeState,
         "Internal error 3\n\nThe record of this download, v, cannot be read. Cleanup puts it "
         "aside in the same folder, deleting nothing, and starts this version's download "
         "again."},
        {FailureKind::ForeignFolder,
         "The folder v was not made by Velmora Quindle for this download: it holds other files, "
         "or it is a link or not a folder at all. Nothing is written there. Please move it "
         "away, or choose another package folder."},
        {FailureKind::PartsRepublished,
         "Velmora now publishes version v in other parts than the ones this download was "
         "started with, in v. The parts that still fit are kept; the others are fetched again."},
        {FailureKind::ResumeStateNotWritten, "Failed to write to file: v Please try later"},
        {FailureKind::PreviousDownloadCleaningUp,
         "Previous download is trying to cleanup, please wait a few seconds"},
        {FailureKind::NotSigned,
         "The package cannot be checked: the server sent no list of checksums signed by "
         "Velmora (SHA256SUMS and SHA256SUMS.minisig), so it may not come from Velmora. Nothing "
         "is downloaded. Please try again later."},
        {FailureKind::BadSignature,
         "The list of checksums from the server does not carry Velmora's signature for this "
         "package and version, so it may have been changed on the way. Nothing is downloaded. "
         "Please try again later."},
        {FailureKind::BadChecksumList,
         "The list of checksums from the server does not fit the package it came with. Nothing "
         "is downloaded. Please try again later."},
        {FailureKind::CannotRecordRelease,
         "Cannot record the signed version in v: it is not a file Velmora Quindle can read and "
         "write. Please move it away."},
        {FailureKind::SignedAhead,
         "The list of checksums from the server is signed with a date more than a day after "
         "what this computer's clock says it is now. Either the clock is wrong or the list is "
         "not what Velmora published, so nothing is downloaded. Please check the date and time "
         "of this computer, and try again."},
        {FailureKind::OlderRelease,
         "The server offers version v of this package, older than version v, which Velmora "
         "signed and this package folder already has. An older release can bring back faults "
         "that were mended, so nothing is downloaded. Please try again later."},
        {FailureKind::PartMismatch, "The data received for v does not match its checksum."},
        {FailureKind::PartGaveUp, "Cannot create file: v Please try later"},
        {FailureKind::CannotCreateOutputFile, "Cannot create output file"},
        {FailureKind::CannotOpenInputFile, "Cannot open input file: v Please click download again"},
        {FailureKind::IncorrectSize, "Incorrect size: v Please click download again"},
        {FailureKind::IncorrectData, "Incorrect data: v, v Please click download again"},
        {FailureKind::InstallerMismatch,
         "The joined installer v does not match its checksum, although every part does: the "
         "server's list of checksums is wrong. Please try later"},
        {FailureKind::FolderOpenToOthers,
         "Other users of this computer can change the folder v or a folder above it, so Velmora "
         "Quindle does not open or start a program from there. Please move the package folder "
         "into a folder of your own."},
        {FailureKind::FolderInUse,
         "Velmora Quindle is already running for the folder v. Please continue in its window, or "
         "close that window and start Velmora Quindle again."},
        {FailureKind::CannotCopyProgram,
         "Velmora Quindle could not be copied to v: Cannot create file: v\n\nPlease choose "
         "another folder for the package."},
        {FailureKind::NotAFileThere, "something that is not a file has that name"},
        {FailureKind::NoReasonGiven, "the system gave no reason"},
        {FailureKind::RunsInPlace,
         "Velmora Quindle was not copied, so it runs where it was started, and the download goes "
         "into v."},
        {FailureKind::CannotStartCopy,
         "Velmora Quindle was copied to v but could not be started from there. Please start it "
         "from that folder, or through the desktop shortcut."},
    };
    for (const FailureKind kind : AllKinds()) {
        SCOPED_TRACE(static_cast<int>(kind));
        const auto it = expected.find(kind);
        ASSERT_NE(it, expected.end()) << "a kind without its sentence in this table";
        EXPECT_EQ(Render(WithEverySubject(kind, "v")), it->second);
    }
}

// A subject from the server or the disk never adds a line, a control
// character or a change of direction to the sentence: each shows as it
// stands, escaped, and the rest of the sentence stays the catalogue's.
TEST(FailureTextTest, EverySubjectIsEscapedInEveryKind) {
    const std::string hostile =
        "a\x01\x1b[31m\nb\r\xe2\x80\xae"
        "c";  // U+202E, right-to-left
    const std::string shown = "a\\x01\\x1B[31m\\x0Ab\\x0D\\u202Ec";
    for (const FailureKind kind : AllKinds()) {
        SCOPED_TRACE(static_cast<int>(kind));
        const std::string plain = Render(WithEverySubject(kind, "v"));
        const std::string rendered = Render(WithEverySubject(kind, hostile));
        EXPECT_EQ(rendered.find("\xe2\x80\xae"), std::string::npos);
        EXPECT_EQ(rendered.find('\x01'), std::string::npos);
        EXPECT_EQ(rendered.find('\x1b'), std::string::npos);
        // Line ends only where the sentence itself has them.
        EXPECT_EQ(std::count(rendered.begin(), rendered.end(), '\n'),
                  std::count(plain.begin(), plain.end(), '\n'));
        EXPECT_EQ(rendered.find('{'), std::string::npos) << "a placeholder left unfilled";
        const bool namesASubject =
            Render(WithEverySubject(kind, "@@")).find("@@") != std::string::npos;
        if (namesASubject) {
            EXPECT_NE(rendered.find(shown), std::string::npos) << rendered;
        }
    }
}

TEST(FailureTextTest, DurationsAreWholeSecondsRoundedUp) {
    Failure failure(FailureKind::DeadlineMissed);
    failure.milliseconds = 1000;
    EXPECT_EQ(Render(failure), "The server did not send the whole file within 1 second.");
    failure.milliseconds = 1001;
    EXPECT_EQ(Render(failure), "The server did not send the whole file within 2 seconds.");
}

// The windows' own texts with the program's own values: word order is the
// sentence's, a name it does not know stays visible instead of vanishing.
TEST(FailureTextTest, ComposeFillsNamedValuesWhereverTheSentencePutsThem) {
    EXPECT_EQ(Compose("{done} of {total} MiB", {{"total", "10"}, {"done", "3"}}), "3 of 10 MiB");
    EXPECT_EQ(Compose("{package} is {state}", {{"package", "P"}}), "P is {state}");
    EXPECT_EQ(Compose("{open", {{"open", "x"}}), "{open");
}

class RecordingReport final : public UserReport {
  public:
    void Tell(const Failure& failure) override { told.push_back(failure.kind); }
    std::vector<FailureKind> told;
};

TEST(FailureTextTest, AReportGoesToTheInstalledReportAndTheOneBeforeComesBack) {
    RecordingReport outer;
    RecordingReport inner;
    UserReport* before = SetUserReport(&outer);
    EXPECT_EQ(SetUserReport(&inner), &outer);
    Report(Failure(FailureKind::NotSigned));
    EXPECT_EQ(SetUserReport(&outer), &inner);
    Report(Failure(FailureKind::BadSignature));
    SetUserReport(before);
    EXPECT_EQ(inner.told, std::vector<FailureKind>{FailureKind::NotSigned});
    EXPECT_EQ(outer.told, std::vector<FailureKind>{FailureKind::BadSignature});
}

}  // namespace
