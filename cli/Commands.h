#pragma once
// The commands of k72-card. Each returns its exit status (ExitStatus.h) and prints its result on
// standard output, its messages on standard error.

#include "cli/CommandOptions.h"

namespace k72::cli {

// Card commands.
int RunShow(const ShowOptions& options);
int RunImport(const ImportOptions& options);
int RunAddStill(const AddStillOptions& options);
int RunRemoveStill(const RemoveStillOptions& options);
int RunMoveStill(const MoveStillOptions& options);
int RunAudio(const AudioOptions& options);
int RunRemoveSound(const RemoveSoundOptions& options);
int RunDelete(const DeleteOptions& options);
int RunExport(const ExportOptions& options);
int RunCheck(const CheckOptions& options);

// Commands on single files, without a card.
int RunConvertPicture(const ConvertOptions& options);
int RunConvertMovie(const ConvertOptions& options);
int RunConvertSound(const ConvertOptions& options);
int RunProbe(const ProbeOptions& options);

} // namespace k72::cli
