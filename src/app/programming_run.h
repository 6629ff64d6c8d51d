// The one fixed run of the tool, from the banner to the closed port. Returns the process
// exit status (see exit_status.h).
#pragma once

int RunProgramming(int argc, char **argv);
