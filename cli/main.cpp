// k72-card: the card commands of the K-72 Image Converter from a terminal, for scripts and batches.
#include "cli/CancelSignal.h"
#include "cli/CommandLine.h"

int main(int argc, char** argv) {
    k72::cli::CancelSignal::Install();
    return k72::cli::RunCommandLine(argc, argv);
}
