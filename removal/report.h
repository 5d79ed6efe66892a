// The run's account of what it removed and kept. Every outcome of something the log names (an
// installed file, a shortcut, a registry key or value) is counted, for a quiet run's exit code;
// when a report file was asked for, each outcome, and what else the run did (folders, fonts,
// modules, the sweep, the self-deletion), is also written to it as a line as it happens, so that
// a run stopped half-way leaves what it did. The lines' words are the program's own, in English;
// paths stand as the log has them, in its code page, which the first line names ("UTF-8" or
// "code page 1252"). A report that cannot be made or written changes nothing else.
#pragma once

enum Outcome {
    OUTCOME_REMOVED,  // counted: it is gone
    OUTCOME_KEPT,     // counted: it is still there
    OUTCOME_MISSING,  // counted: it was not there
    OUTCOME_SHARED,   // counted as kept: a shared file other packages still use, as it should be
    OUTCOME_QUEUED,   // counted: it goes at the next restart
    OUTCOME_NOTED,    // written only
};

// What the run counted: every outcome of something the log names.
struct ReportCounts {
    unsigned int removed;
    unsigned int kept;        // among them the shared files other packages still use
    unsigned int missing;
    unsigned int sharedKept;  // of the kept: shared files other packages still use
    unsigned int queued;      // files to be deleted at the next restart
};

// Asks for a report at the path of `length` bytes (the /L switch's); one that does not fit a path
// buffer asks for none: a cut path would name some other file.
void AskForReport(const char* path, unsigned int length);
// The path asked for; empty when none was.
const char* ReportPath();
// 1 while a report is being written.
int IsReportOpen();
const ReportCounts* Counts();
// Puts the report back as at the start of a run (for the host tests): none asked for, none open,
// nothing counted.
void ResetReport();

// Makes the report file asked for, if any, or empties the plain file of that name, and writes its
// first line. A place reached through a link (a link as the file, a folder link on its folder's
// levels as for a record) or a file with other names (hard links) gets no report. A new file
// gets the private access list (base/private_access.h).
// The first line: "Tidewell removal report, ENCODING: PROGRAM".
void OpenReport();
// Counts the outcome and writes one line, made as wsprintfA makes it from the format and its
// arguments (%s a text, %u a number); a line holds at most 1,024 characters.
void Report(int outcome, const char* format, ...);
// A file's deletion: "KIND removed", "KIND missing", or "KIND kept, in use" or "KIND kept,
// cannot be deleted", with what was answered and the platform's reason.
void ReportDeletion(const char* kind, int deleted, unsigned int error, const char* answer, const char* path);
// A folder's removal that the platform refused: not empty, missing, or another reason. The
// installation folder, which still holds the program, is left to the self-deletion.
void ReportFolderKept(unsigned int error, const char* path);
// A folder left alone before its removal was tried: behind a link, or protected.
void ReportFolderLeft(int behindLink, const char* path);
// A record whose path could not be made: its folder depends on the current folder, or its path
// is too long, as its state says (removal/record_paths.h). KIND is "file" or "shortcut".
void ReportPassedOver(int outcome, const char* kind, const char* folder, const char* name, int state);
// Writes the totals (with the files queued and "restart needed" when there are any) and closes
// the report.
void CloseReport();
