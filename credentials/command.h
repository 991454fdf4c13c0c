// qubopost-cli credentials: the SMTP logins kept in the Secret Service key ring. Built into
// the mail library (which holds the key-ring code anyway) and exported from it as
// BCredentialsCommand, so that qubopost-cli loads the key ring's libraries only for it.
#pragma once

// Usage text of the command, for the program's --help.
extern const char* const kCredentialsUsage;

// Runs "credentials set|forget|list ..." with argv[first] the word after "credentials".
// Returns the exit status: 0 done, 1 failed (or nothing stored for the host), 2 bad usage,
// 3 no key ring available.
int RunCredentialsCommand(int argc, char** argv, int first);
