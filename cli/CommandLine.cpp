#include "cli/CommandLine.h"

#include "cli/Commands.h"
#include "cli/ExitStatus.h"
#include "cli/FileKind.h"
#include "cli/PadAddress.h"

#include <CLI/CLI.hpp>

#include <functional>
#include <string>

namespace k72::cli {
namespace {

const CLI::Validator kPadValidator(
    [](std::string& text) -> std::string {
        return PadAddress::Parse(text) ? std::string()
                                       : "'" + text +
                                             "' is not a pad: write BANK-NUMBER-PAD, bank A ... F, "
                                             "number 1 ... 12, pad 1 ... 12, e.g. A-1-1 or f-12-12";
    },
    "BANK-NUMBER-PAD", "pad");

const CLI::Validator kBankValidator(
    [](std::string& text) -> std::string {
        return ParseBankLetter(text) ? std::string() : "'" + text + "' is not a bank: write A ... F";
    },
    "A ... F", "bank");

constexpr const char* kCardHelp = "the card's root folder (the one that holds DCIM)";
constexpr const char* kPadHelp = "the pad: BANK-NUMBER-PAD, e.g. A-1-1 (bank A, number 1, pad 1) ... F-12-12";
constexpr const char* kOverwriteHelp = "let a copy replace an existing file (without it the command fails)";

void AddCard(CLI::App* command, std::string& card) {
    command->add_option("CARD", card, kCardHelp)->required();
}

void AddPad(CLI::App* command, std::string& pad) {
    command->add_option("PAD", pad, kPadHelp)->required()->check(kPadValidator);
}

void AddQuality(CLI::App* command, SettingsOptions& settings) {
    command->add_option("--quality", settings.quality, "quality 0 (Lowest) ... 4 (Highest)")
        ->check(CLI::Range(0, 4))
        ->option_text("0..4");
}

void AddFit(CLI::App* command, SettingsOptions& settings) {
    command
        ->add_option("--fit", settings.fit,
                     "a picture or movie of another shape than 4:3: stretch it to the whole frame, "
                     "letterbox it on black, or crop its centre")
        ->check(CLI::IsMember({"stretch", "letterbox", "crop"}, CLI::ignore_case))
        ->option_text("stretch|letterbox|crop");
}

void AddSettings(CLI::App* command, SettingsOptions& settings) {
    command
        ->add_option("--fps", settings.fps,
                     "frame-rate system of a converted movie: ntsc (29.97) or pal (25)")
        ->check(CLI::IsMember({"ntsc", "pal"}, CLI::ignore_case))
        ->option_text("ntsc|pal");
    AddQuality(command, settings);
    command->add_option("--deinterlace", settings.deinterlace, "deinterlace the source video of a movie")
        ->check(CLI::IsMember({"on", "off"}, CLI::ignore_case))
        ->option_text("on|off");
    AddFit(command, settings);
}

void AddOverwrite(CLI::App* command, bool& overwrite) {
    command->add_flag("--overwrite", overwrite, kOverwriteHelp);
}

} // namespace

int RunCommandLine(int argc, char** argv) {
    CLI::App app("Fills the pads of a K-72 card from a terminal: imports movies and pictures, attaches\n"
                 "sounds, lists, deletes and exports pads, converts single files. Settings not given on\n"
                 "the command line come from the desktop program's preferences.\n"
                 "Exit status: 0 success, 1 the command failed, 2 bad usage.",
                 "k72-card");
    app.require_subcommand(1, 1);
    app.get_formatter()->column_width(34);

    std::function<int()> run;

    ShowOptions show;
    CLI::App* showCommand = app.add_subcommand(
        "show", "list pads: every assigned pad of the card; with --bank that bank's; with --bank and "
                "--number one number's 12 pads, empty ones included");
    AddCard(showCommand, show.card);
    CLI::Option* bankOption =
        showCommand->add_option("--bank", show.bank, "only this bank, A ... F")->check(kBankValidator);
    showCommand->add_option("--number", show.number, "only this number of the bank, 1 ... 12")
        ->check(CLI::Range(1, 12))
        ->needs(bankOption);
    showCommand->add_flag("--json", show.json, "print one JSON object");
    showCommand->callback([&] { run = [&] { return RunShow(show); }; });

    ImportOptions import;
    CLI::App* importCommand = app.add_subcommand(
        "import", "convert one movie (" + KnownExtensionText(PadKindMovie, " ") + ") or picture (" +
                      KnownExtensionText(PadKindStill, " ") +
                      ") onto a pad, replacing what the pad held; the kind is found from the file's content");
    AddCard(importCommand, import.card);
    AddPad(importCommand, import.pad);
    importCommand->add_option("FILE", import.file, "the movie or picture")->required();
    AddSettings(importCommand, import.settings);
    AddOverwrite(importCommand, import.overwrite);
    importCommand->callback([&] { run = [&] { return RunImport(import); }; });

    AddStillOptions addStill;
    CLI::App* addStillCommand = app.add_subcommand(
        "add-still",
        "append pictures to a pad in the order given; an empty pad becomes a still image pad; a pad "
        "holds at most 100 pictures");
    AddCard(addStillCommand, addStill.card);
    AddPad(addStillCommand, addStill.pad);
    addStillCommand
        ->add_option("FILE", addStill.files, "the pictures (" + KnownExtensionText(PadKindStill, " ") + ")")
        ->required();
    AddQuality(addStillCommand, addStill.settings);
    AddFit(addStillCommand, addStill.settings);
    AddOverwrite(addStillCommand, addStill.overwrite);
    addStillCommand->callback([&] { run = [&] { return RunAddStill(addStill); }; });

    RemoveStillOptions removeStill;
    CLI::App* removeStillCommand = app.add_subcommand(
        "remove-still", "take one picture off a still image pad (the last one empties the pad)");
    AddCard(removeStillCommand, removeStill.card);
    AddPad(removeStillCommand, removeStill.pad);
    removeStillCommand->add_option("POSITION", removeStill.position, "the picture's position, from 1")
        ->required()
        ->check(CLI::Range(1, 100));
    removeStillCommand->add_flag("--delete-file", removeStill.deleteFile,
                                 "delete the picture's file from the card too");
    removeStillCommand->callback([&] { run = [&] { return RunRemoveStill(removeStill); }; });

    MoveStillOptions moveStill;
    CLI::App* moveStillCommand =
        app.add_subcommand("move-still", "move one picture of a still image pad to another position");
    AddCard(moveStillCommand, moveStill.card);
    AddPad(moveStillCommand, moveStill.pad);
    moveStillCommand->add_option("FROM", moveStill.from, "the picture's position, from 1")
        ->required()
        ->check(CLI::Range(1, 100));
    moveStillCommand->add_option("TO", moveStill.to, "its new position, from 1")
        ->required()
        ->check(CLI::Range(1, 100));
    moveStillCommand->callback([&] { run = [&] { return RunMoveStill(moveStill); }; });

    AudioOptions audio;
    CLI::App* audioCommand = app.add_subcommand(
        "audio", "copy a sound (WAV: PCM, 2 channels, 44100 Hz, 16 bits) to the card and attach it to a pad");
    AddCard(audioCommand, audio.card);
    AddPad(audioCommand, audio.pad);
    audioCommand->add_option("WAV", audio.wav, "the sound file")->required();
    audioCommand->add_flag("--convert", audio.convert,
                           "convert a sound the device cannot play as it is (another WAV form, " +
                               KnownExtensionText(PadKindEmpty, " ") +
                               ") into its WAV form, named after the source in 8.3 form");
    AddOverwrite(audioCommand, audio.overwrite);
    audioCommand->callback([&] { run = [&] { return RunAudio(audio); }; });

    DeleteOptions remove;
    CLI::App* deleteCommand = app.add_subcommand("delete", "empty a pad");
    AddCard(deleteCommand, remove.card);
    AddPad(deleteCommand, remove.pad);
    deleteCommand->add_flag("--delete-files", remove.deleteFiles, "delete the pad's files from the card too");
    deleteCommand->callback([&] { run = [&] { return RunDelete(remove); }; });

    ExportOptions exportPad;
    CLI::App* exportCommand =
        app.add_subcommand("export", "copy a pad's files (movie or pictures, and its sound) into a folder");
    AddCard(exportCommand, exportPad.card);
    AddPad(exportCommand, exportPad.pad);
    exportCommand->add_option("FOLDER", exportPad.folder, "an existing folder")->required();
    AddOverwrite(exportCommand, exportPad.overwrite);
    exportCommand->callback([&] { run = [&] { return RunExport(exportPad); }; });

    ConvertOptions picture;
    CLI::App* pictureCommand = app.add_subcommand(
        "convert-picture", "convert one picture into a device picture file, no card needed");
    pictureCommand
        ->add_option("SOURCE", picture.source, "the picture (" + KnownExtensionText(PadKindStill, " ") + ")")
        ->required();
    pictureCommand->add_option("DEST", picture.destination, "the JPEG file to write, or a folder")
        ->required();
    AddQuality(pictureCommand, picture.settings);
    AddFit(pictureCommand, picture.settings);
    AddOverwrite(pictureCommand, picture.overwrite);
    pictureCommand->callback([&] { run = [&] { return RunConvertPicture(picture); }; });

    ConvertOptions movie;
    CLI::App* movieCommand =
        app.add_subcommand("convert-movie", "convert one movie into a device movie file, no card needed");
    movieCommand
        ->add_option("SOURCE", movie.source, "the movie (" + KnownExtensionText(PadKindMovie, " ") + ")")
        ->required();
    movieCommand->add_option("DEST", movie.destination, "the AVI file to write, or a folder")->required();
    AddSettings(movieCommand, movie.settings);
    AddOverwrite(movieCommand, movie.overwrite);
    movieCommand->callback([&] { run = [&] { return RunConvertMovie(movie); }; });

    ConvertOptions sound;
    CLI::App* soundCommand = app.add_subcommand(
        "convert-sound",
        "convert one sound into the WAV form the device plays (PCM, 2 channels, 44100 Hz, 16 bits), no "
        "card needed");
    soundCommand
        ->add_option("SOURCE", sound.source, "the sound (" + KnownExtensionText(PadKindEmpty, " ") + ")")
        ->required();
    soundCommand->add_option("DEST", sound.destination, "the WAV file to write, or a folder")->required();
    AddOverwrite(soundCommand, sound.overwrite);
    soundCommand->callback([&] { run = [&] { return RunConvertSound(sound); }; });

    ProbeOptions probe;
    CLI::App* probeCommand = app.add_subcommand(
        "probe", "an AVI: its frames, frame rate and running time; a WAV: whether a pad accepts it (exit "
                 "status 1 when not)");
    probeCommand->add_option("FILE", probe.file, "an AVI or WAV file")->required();
    probeCommand->add_flag("--json", probe.json, "print one JSON object");
    probeCommand->callback([&] { run = [&] { return RunProbe(probe); }; });

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        // Help asked for prints it and succeeds; any other parse error is bad usage.
        return app.exit(error) == 0 ? kExitSuccess : kExitUsage;
    }
    if (!run) {
        return kExitUsage;
    }
    return run();
}

} // namespace k72::cli
