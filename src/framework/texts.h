#pragma once

#include <cstddef>
#include <iterator>

#include "framework/failure.h"

// Every text the program shows to the user, in one place (the labels of the
// dialogs stand in their templates, ui/dialog_templates.cpp). A sentence
// that names something (a path, a version, a number) holds it as a named
// placeholder in braces, filled in by Render or Compose (failure_text.h), so
// that each text is whole wherever its subject stands.

namespace text {

// Captions.
inline constexpr char kAppTitle[] = "Velmora Quindle";

// The part label while the parts are joined.
inline constexpr char kMergingParts[] = "Merging Parts";

// Main dialog.
inline constexpr char kDownloadStillGoing[] = "Download is still going, please stop it first";
inline constexpr char kCaptionMainPackage[] = "Download Main Package";
inline constexpr char kCaptionTobrinPackage[] = "Download Text-to-Speech Tobrin";
inline constexpr char kCaptionVessaPackage[] = "Download Text-to-Speech Vessa";
inline constexpr char kNameMainPackage[] = "Velmora Main Package";
inline constexpr char kNameTobrinPackage[] = "Velmora TTS Tobrin";
inline constexpr char kNameVessaPackage[] = "Velmora TTS Vessa";
inline constexpr char kCleanupWithoutFolder[] =
    "There is nothing to clean up yet: no package folder has been prepared. "
    "Please click Download first.";
// Install, when the installer's path no longer leads to the file that was
// checked.
inline constexpr char kInstallerChanged[] =
    "The installer has changed since it was checked, so it was not opened. Please click "
    "Download again.";
// Below the buttons, followed by the support address.
inline constexpr char kNoticeWithAddress[] =
    "You can stop download anytime and continue at a later time. Quindle will start from "
    "where it has left. Question? Please contact  {address}";

// What the overall bar tells of a download under way.
inline constexpr char kDoneOfMiB[] = "{done} of {total} MiB";
inline constexpr char kDoneOfKiB[] = "{done} of {total} KiB";
inline constexpr char kMiBPerSecond[] = "{rate} MiB/s";
inline constexpr char kKiBPerSecond[] = "{rate} KiB/s";
inline constexpr char kLessThanAMinuteLeft[] = "less than a minute left";
inline constexpr char kAboutAMinuteLeft[] = "about 1 minute left";
inline constexpr char kAboutMinutesLeft[] = "about {count} minutes left";
inline constexpr char kAboutAnHourLeft[] = "about 1 hour left";
inline constexpr char kAboutHoursLeft[] = "about {count} hours left";
// The amount, then while it moves its rate and the time left.
inline constexpr char kMoving[] = "{amount}, {rate}, {time_left}";

// Desktop notifications, for a user who is looking elsewhere.
inline constexpr char kNoticeReady[] = "{package} is downloaded";
inline constexpr char kNoticeReadyBody[] =
    "The installer is ready: click the install button to install it.";
inline constexpr char kNoticeFailed[] = "{package}: the download has stopped";

// Folder and proxy dialogs.
inline constexpr char kMustSelectPackageDirectory[] = "You must select your package directory";
inline constexpr char kSelectPackageDirectory[] = "Select package directory";
inline constexpr char kEnterPositiveInteger[] = "Please enter a positive integer.";
inline constexpr char kEnterPortNumber[] = "Please enter a port number from 1 to 65535.";
inline constexpr char kEnterSpeedLimit[] =
    "Please enter a speed from {least} to {most} KiB/s, or 0 or nothing for no limit.";

// Start-up and desktop launcher.
inline constexpr char kSocketsInitFailed[] = "Windows sockets initialization failed.";
inline constexpr char kShortcutCreated[] =
    "A desktop shortcut to Velmora Quindle and Installer is created for you. If you download "
    "over several sessions, you can click on the shortcut to continue download and "
    "installation from where you have left previously";
inline constexpr char kFailedToSaveShortcut[] = "Failed to save quindle shortcut";
inline constexpr char kShortcutName[] = "Velmora Quindle 7";
inline constexpr char kShortcutDescription[] = "Velmora quindle and installer program";

// The command line's answers, on standard output and standard error.
inline constexpr char kCommandLineHelp[] =
    "Usage: {name} [-site HOST] [-dir FOLDER]\n"
    "Downloads a Velmora software package in numbered parts, resuming where it\n"
    "stopped, joins the parts into the installer velmora.exe and opens it.\n"
    "Started from the download folder, or as installed, it first asks for a\n"
    "package folder, copies itself there, leaves the launcher \"{launcher}\" on\n"
    "the desktop and in the applications menu, and starts the copy.\n"
    "\n"
    "  -site HOST    download from HOST: {primary_host} or\n"
    "                {alternate_host}\n"
    "  -dir FOLDER   the folder on the host that holds the package\n"
    "  --help        show this help and exit\n"
    "  --version     show the version and exit\n"
    "\n"
    "\"/\" works as well as \"-\" (/site, /dir). A value must not begin with \"-\" or\n"
    "\"/\": -dir download/beta, not -dir /download/beta.\n";
inline constexpr char kCommandLineVersion[] = "{name} ({title}) {version}\n";
inline constexpr char kCommandLineWarning[] = "{name}: {what}\n";
inline constexpr char kArgumentIgnored[] = "argument \"{argument}\" ignored";
inline constexpr char kOptionWithoutValue[] = "option \"{option}\" without a value ignored";
inline constexpr char kUnknownOption[] = "unknown option \"{option}\" ignored";

// The About dialog.
inline constexpr char kAboutVersion[] = "{title} Version {version}";
inline constexpr char kCopyright[] = "Copyright (C) 2026 Velmora Software";

// Window menu and string table.
inline constexpr char kMenuMinimize[] = "Minimize";
inline constexpr char kMenuClose[] = "Close";
inline constexpr char kWindowMenuName[] = "Window menu";
inline constexpr char kMenuPackageMain[] = "Download Velmora Main Package";
inline constexpr char kMenuPackageTobrin[] = "Download Velmora TTS Tobrin";
inline constexpr char kMenuPackageVessa[] = "Download Velmora TTS Vessa";
inline constexpr char kMenuAbout[] = "&About Velmora Quindle and Install";
inline constexpr char kMenuSpeedLimit[] = "&Limit Download Speed...";

// What went wrong, one whole sentence for each kind of failure
// (framework/failure.h). {path}, {paths}, {name}, {version},
// {other_version} and {text} came from the disk or the server and are
// shown escaped; {number} and {duration} are the program's own figures;
// {primary_host} and {single_file_page} are the program's own addresses;
// {system} is the system's own text; {cause} is the sentence of the
// failure this one wraps.

namespace failure {
// One sentence for each kind, in the order of the kinds.
struct Sentence {
    FailureKind kind;
    const char* text;
};
inline constexpr Sentence kSentences[] = {
    {FailureKind::System, "{system}"},
    {FailureKind::Stopped, ""},
    {FailureKind::HostNameNotSpecified, "Host name not specified for connection"},
    {FailureKind::LibraryError, "{text}"},
    {FailureKind::FailedToConnect, "Failed to connect to the server."},
    {FailureKind::ProxyNeedsLogin,
     "The proxy server asks for a user name and password (status 407), which this program "
     "cannot give. Please set a proxy that needs no login."},
    {FailureKind::UnexpectedStatus,
     "The server answered with status {number} instead of sending the file."},
    {FailureKind::TransferCoding,
     "The server sent the file in a transfer coding this program does not accept ({text})."},
    {FailureKind::BodyTooLong,
     "The server sent more than {number} bytes for this file; what arrived was discarded."},
    {FailureKind::CannotCreateFile, "Cannot create file: {path}"},
    {FailureKind::FailedToWriteFile, "Failed to write to file: {path}"},
    {FailureKind::Stalled, "The server sent nothing for {duration}; the connection timed out."},
    {FailureKind::TooSlow,
     "The server sent less than {number} bytes per second for {duration}; the connection was "
     "given up."},
    {FailureKind::DeadlineMissed, "The server did not send the whole file within {duration}."},
    {FailureKind::RangeRefused, "The server did not send the rest of the file as asked."},
    {FailureKind::PreparationTimeSpent, "The server did not send the package's files in time."},
    {FailureKind::CannotFindHomeDirectory, "Cannot find home directory"},
    {FailureKind::CannotFetchPackageFile,
     "{cause}\r\n\r\n"
     "In most cases, this is caused by your firewall program blocking the download. "
     "You can temporarily turn off your firewall program and try again. "
     "If your firewall program indicates error or at risk status, please fix it first.\r\n\r\n"
     "If your computer is behind a corporate firewall/proxy server, please click the Proxy "
     "button to set the server name and port.\r\n\r\n"
     "You could also try to download the software as a single file:\r\n"
     "    {single_file_page}"},
    {FailureKind::Incompatible,
     "Your Velmora Quindle program is not compatible with the current release. "
     "Please download the newer version from {primary_host} and try again. Thank you."},
    {FailureKind::IndexMalformed, "File error: {path}"},
    {FailureKind::IndexUnreadable, "Failed to read pkgindex file"},
    {FailureKind::ProductVersionNotSpecified, "Product version not specified"},
    {FailureKind::InternalError2, "Internal error 2"},
    {FailureKind::UnreadableResumeState,
     "Internal error 3\n\nThe record of this download, {path}, cannot be read. Cleanup puts it "
     "aside in the same folder, deleting nothing, and starts this version's download again."},
    {FailureKind::ForeignFolder,
     "The folder {path} was not made by Velmora Quindle for this download: it holds other "
     "files, or it is a link or not a folder at all. Nothing is written there. Please move it "
     "away, or choose another package folder."},
    {FailureKind::PartsRepublished,
     "Velmora now publishes version {version} in other parts than the ones this download was "
     "started with, in {path}. The parts that still fit are kept; the others are fetched again."},
    {FailureKind::ResumeStateNotWritten, "Failed to write to file: {path} Please try later"},
    {FailureKind::PreviousDownloadCleaningUp,
     "Previous download is trying to cleanup, please wait a few seconds"},
    {FailureKind::NotSigned,
     "The package cannot be checked: the server sent no list of checksums signed by Velmora "
     "(SHA256SUMS and SHA256SUMS.minisig), so it may not come from Velmora. Nothing is "
     "downloaded. Please try again later."},
    {FailureKind::BadSignature,
     "The list of checksums from the server does not carry Velmora's signature for this "
     "package and version, so it may have been changed on the way. Nothing is downloaded. "
     "Please try again later."},
    {FailureKind::BadChecksumList,
     "The list of checksums from the server does not fit the package it came with. Nothing is "
     "downloaded. Please try again later."},
    {FailureKind::CannotRecordRelease,
     "Cannot record the signed version in {path}: it is not a file Velmora Quindle can read "
     "and write. Please move it away."},
    {FailureKind::SignedAhead,
     "The list of checksums from the server is signed with a date more than a day after what "
     "this computer's clock says it is now. Either the clock is wrong or the list is not what "
     "Velmora published, so nothing is downloaded. Please check the date and time of this "
     "computer, and try again."},
    {FailureKind::OlderRelease,
     "The server offers version {version} of this package, older than version {other_version}, "
     "which Velmora signed and this package folder already has. An older release can bring "
     "back faults that were mended, so nothing is downloaded. Please try again later."},
    {FailureKind::PartMismatch, "The data received for {name} does not match its checksum."},
    {FailureKind::PartGaveUp, "{cause} Please try later"},
    {FailureKind::CannotCreateOutputFile, "Cannot create output file"},
    {FailureKind::CannotOpenInputFile,
     "Cannot open input file: {path} Please click download again"},
    {FailureKind::IncorrectSize, "Incorrect size: {path} Please click download again"},
    {FailureKind::IncorrectData, "Incorrect data: {paths} Please click download again"},
    {FailureKind::InstallerMismatch,
     "The joined installer {path} does not match its checksum, although every part does: the "
     "server's list of checksums is wrong. Please try later"},
    {FailureKind::FolderOpenToOthers,
     "Other users of this computer can change the folder {path} or a folder above it, so "
     "Velmora Quindle does not open or start a program from there. Please move the package "
     "folder into a folder of your own."},
    {FailureKind::FolderInUse,
     "Velmora Quindle is already running for the folder {path}. Please continue in its window, "
     "or close that window and start Velmora Quindle again."},
    {FailureKind::CannotCopyProgram,
     "Velmora Quindle could not be copied to {path}: {cause}\n\nPlease choose another folder "
     "for the package."},
    {FailureKind::NotAFileThere, "something that is not a file has that name"},
    {FailureKind::NoReasonGiven, "the system gave no reason"},
    {FailureKind::RunsInPlace,
     "Velmora Quindle was not copied, so it runs where it was started, and the download goes "
     "into {path}."},
    {FailureKind::CannotStartCopy,
     "Velmora Quindle was copied to {path} but could not be started from there. Please start it "
     "from that folder, or through the desktop shortcut."},
};
static_assert(std::size(kSentences) == static_cast<std::size_t>(kLastFailureKind) + 1,
              "every failure kind has its sentence");

// {duration}, in whole seconds.
inline constexpr char kOneSecond[] = "1 second";
inline constexpr char kSeconds[] = "{count} seconds";
// Between the paths of {paths}.
inline constexpr char kListSeparator[] = ", ";
}  // namespace failure

}  // namespace text
