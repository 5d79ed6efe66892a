// Consent: whether what the run would do next may go ahead, decided in one place from the run's
// switches (silent, quiet) and the answers given so far. The phases ask it; it asks the person,
// through ui/, only where the run may ask, and a quiet run gets each question's safe answer.
#pragma once

// Forgets the answers of an earlier run (the run's set-up calls it).
void ResetConsent();

// 1 for a run that is confirmed and told it is done: neither silent nor quiet.
int RunAsksPerson();

// What becomes of a file whose deletion is refused.
enum RefusedFileAnswer {
    REFUSED_KEEP,         // it stays
    REFUSED_RETRY,        // tried once more; still refused because it is in use: to the restart
    REFUSED_RETRY_ASKING, // the same, but still refused for another reason: asked again
    REFUSED_QUEUE,        // not tried again; in use: to the restart (a quiet run)
};
// The answer for the file, asking when no answer to all was given: Yes, Yes to all, No or No to
// all. `words` gets the answer as the report gives it (", answered Yes"), `asked` 1 when a
// question was on screen (anything not held may have changed meanwhile).
int AnswerRefusedFile(const char* path, const char** words, int* asked);
// The answer to all refused files given so far: -1 none, 1 Yes to all, 0 No to all.
int RefusedFilesPolicy();

// 1 when a shared file that no other package uses may go: asked, and Yes (also when the question
// cannot be worded for want of memory); a quiet run keeps it. `words` gets why it stays.
int AgreesToRemoveShared(const char* path, const char** words, int* asked);

// 1 when the package's running programs (their files' names, one per line) may be closed: a
// quiet run closes them, a run whose log has no such question does not, any other asks.
// `words` gets why they are left running otherwise.
int AgreesToClosePrograms(const char* names, const char** words);

// 1 when Windows may be restarted now to finish the removal: a run that asks, with something
// queued for the restart and a text to ask with, and the answer Yes.
int AgreesToRestart();
