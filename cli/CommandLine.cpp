#include "cli/CommandLine.h"

#include "cli/CommandOutput.h"
#include "cli/Commands.h"
#include "cli/ExitStatus.h"
#include "cli/FileKind.h"
#include "cli/JsonOutput.h"
#include "cli/PadAddress.h"
#include "cli/SetCommands.h"
#include "cli/UndoCommand.h"
#include "cli/ViewCommands.h"

#include <CLI/CLI.hpp>
#include <k72/Version.h>

#include <cstdio>
#include <cstring>

#include <functional>
#include <sstream>
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
                     "letterbox it on black, crop its centre, or auto: stretch when within 10 % of 4:3, "
                     "else letterbox")
        ->check(CLI::IsMember({"stretch", "letterbox", "crop", "auto"}, CLI::ignore_case))
        ->option_text("stretch|letterbox|crop|auto");
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

// Every command takes --json: one JSON object on standard output, on failure too.
void AddJson(CLI::App* command, bool& json) {
    command->add_flag("--json", json,
                      "print one JSON object, on failure {\"ok\": false, \"error\": ...} too");
}

// The words below a command's own help: more about it, and an example.
std::string Footer(const std::string& more, const std::string& example) {
    return (more.empty() ? std::string() : more + "\n") + "\nExample:\n  " + example + "\n";
}

bool AsksForJson(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0) {
            return false;
        }
        if (std::strcmp(argv[i], "--json") == 0) {
            return true;
        }
    }
    return false;
}

// The options of every command, filled by the parser, and the command it chose to run.
struct CommandChoice {
    ShowOptions show;
    ImportOptions import;
    AddStillOptions addStill;
    RemoveStillOptions removeStill;
    MoveStillOptions moveStill;
    AudioOptions audio;
    RemoveSoundOptions removeSound;
    DeleteOptions remove;
    ExportOptions exportPad;
    ConvertOptions picture;
    ConvertOptions movie;
    ConvertOptions sound;
    ProbeOptions probe;
    CheckOptions check;
    PreviewOptions preview;
    OverviewOptions overview;
    SetCommandChoice set;
    UndoOptions undo;
    bool json = false;
    std::function<int()> run;
};

// Commands that only read a card or a file.
void AddLookingCommands(CLI::App& app, CommandChoice& c) {
    CLI::App* showCommand = app.add_subcommand("show", "list the pads of a card");
    showCommand->footer(
        Footer("Without options every assigned pad of the card; with --bank that bank's; with --bank\n"
               "and --number that number's 12 pads, empty ones included. Works on a card the\n"
               "desktop program has open and on a read-only card.",
               "k72-card show /media/sd --bank A --number 1 --json"));
    AddCard(showCommand, c.show.card);
    CLI::Option* bankOption =
        showCommand->add_option("--bank", c.show.bank, "only this bank, A ... F")->check(kBankValidator);
    showCommand->add_option("--number", c.show.number, "only this number of the bank, 1 ... 12")
        ->check(CLI::Range(1, 12))
        ->needs(bankOption);
    AddJson(showCommand, c.show.json);
    showCommand->callback([&c] { c.run = [&c] { return RunShow(c.show); }; });

    CLI::App* probeCommand =
        app.add_subcommand("probe", "an AVI's frames and rate, or whether a WAV is accepted");
    probeCommand->footer(
        Footer("An AVI: its frames, frame rate and running time. A WAV: whether a pad accepts it\n"
               "(exit status 1 when not, with the reason's code).",
               "k72-card probe /media/sd/DCIM/000KAVLO/K72_0001.AVI --json"));
    probeCommand->add_option("FILE", c.probe.file, "an AVI or WAV file")->required();
    AddJson(probeCommand, c.probe.json);
    probeCommand->callback([&c] { c.run = [&c] { return RunProbe(c.probe); }; });

    CLI::App* checkCommand = app.add_subcommand("check", "find what on a card is wrong or unused");
    checkCommand->footer(Footer(
        "Lists records naming missing files, files of the card's numbering (K72_nnnn.AVI, K72_nnnn.JPG)\n"
        "that no pad names, names the device cannot use, still counts out of range, missing sounds and\n"
        "a pad file of the wrong size. Exit status 0 when the card is sound, 1 with the list. Changes\n"
        "nothing unless --repair is given.",
        "k72-card check /media/sd --repair"));
    AddCard(checkCommand, c.check.card);
    checkCommand->add_flag(
        "--repair", c.check.repair,
        "clear records naming missing files and move unused files into "
        "DCIM/000KAVLO/UNUSED/ (a copy of the pad file is kept first; nothing is deleted)");
    AddJson(checkCommand, c.check.json);
    checkCommand->callback([&c] { c.run = [&c] { return RunCheck(c.check); }; });

    CLI::App* overviewCommand =
        app.add_subcommand("overview", "the used pads of each bank and number, and the card's totals");
    overviewCommand->footer(Footer("Works on a card the desktop program has open and on a read-only card.",
                                   "k72-card overview /media/sd --json"));
    AddCard(overviewCommand, c.overview.card);
    AddJson(overviewCommand, c.overview.json);
    overviewCommand->callback([&c] { c.run = [&c] { return RunOverview(c.overview); }; });
}

// Commands that change what a pad holds.
void AddPadCommands(CLI::App& app, CommandChoice& c) {
    CLI::App* importCommand = app.add_subcommand("import", "convert a movie or picture onto a pad");
    importCommand->footer(
        Footer("A movie (" + KnownExtensionText(PadKindMovie, " ") + ") or a picture (" +
                   KnownExtensionText(PadKindStill, " ") +
                   "); the kind is found from the file's content. The pad's old record is replaced, its "
                   "files stay on the card.",
               "k72-card import /media/sd A-1-1 clip.mp4 --fps pal --quality 3 --fit letterbox"));
    AddCard(importCommand, c.import.card);
    AddPad(importCommand, c.import.pad);
    importCommand->add_option("FILE", c.import.file, "the movie or picture")->required();
    AddSettings(importCommand, c.import.settings);
    AddOverwrite(importCommand, c.import.overwrite);
    AddJson(importCommand, c.json);
    importCommand->callback([&c] { c.run = [&c] { return RunImport(c.import); }; });

    CLI::App* addStillCommand = app.add_subcommand("add-still", "append pictures to a still image pad");
    addStillCommand->footer(
        Footer("In the order given; an empty pad becomes a still image pad; a pad holds at most\n"
               "100 pictures.",
               "k72-card add-still /media/sd B-2-1 holiday/*.jpg --quality 3"));
    AddCard(addStillCommand, c.addStill.card);
    AddPad(addStillCommand, c.addStill.pad);
    addStillCommand
        ->add_option("FILE", c.addStill.files, "the pictures (" + KnownExtensionText(PadKindStill, " ") + ")")
        ->required();
    AddQuality(addStillCommand, c.addStill.settings);
    AddFit(addStillCommand, c.addStill.settings);
    AddOverwrite(addStillCommand, c.addStill.overwrite);
    AddJson(addStillCommand, c.json);
    addStillCommand->callback([&c] { c.run = [&c] { return RunAddStill(c.addStill); }; });

    CLI::App* audioCommand = app.add_subcommand("audio", "attach a sound to a movie or still image pad");
    audioCommand->footer(
        Footer("The WAV file (PCM, 2 channels, 44100 Hz, 16 bits) is copied to the card and the pad\n"
               "names it by its 8.3 name.",
               "k72-card audio /media/sd A-1-1 drums.wav"));
    AddCard(audioCommand, c.audio.card);
    AddPad(audioCommand, c.audio.pad);
    audioCommand->add_option("WAV", c.audio.wav, "the sound file")->required();
    audioCommand->add_flag("--convert", c.audio.convert,
                           "convert a sound the device cannot play as it is (another WAV form, " +
                               KnownExtensionText(PadKindEmpty, " ") +
                               ") into its WAV form, named after the source in 8.3 form");
    AddOverwrite(audioCommand, c.audio.overwrite);
    AddJson(audioCommand, c.json);
    audioCommand->callback([&c] { c.run = [&c] { return RunAudio(c.audio); }; });

    CLI::App* removeSoundCommand =
        app.add_subcommand("remove-sound", "take the sound off a movie or still image pad");
    removeSoundCommand->footer(Footer("Without --delete-file the sound file stays on the card.",
                                      "k72-card remove-sound /media/sd A-1-1 --delete-file"));
    AddCard(removeSoundCommand, c.removeSound.card);
    AddPad(removeSoundCommand, c.removeSound.pad);
    removeSoundCommand->add_flag("--delete-file", c.removeSound.deleteFile,
                                 "delete the sound file from the card too, unless another pad names it");
    AddJson(removeSoundCommand, c.json);
    removeSoundCommand->callback([&c] { c.run = [&c] { return RunRemoveSound(c.removeSound); }; });

    CLI::App* deleteCommand = app.add_subcommand("delete", "empty a pad");
    deleteCommand->footer(Footer("", "k72-card delete /media/sd A-1-1 --delete-files"));
    AddCard(deleteCommand, c.remove.card);
    AddPad(deleteCommand, c.remove.pad);
    deleteCommand->add_flag("--delete-files", c.remove.deleteFiles,
                            "delete the pad's files from the card too");
    AddJson(deleteCommand, c.json);
    deleteCommand->callback([&c] { c.run = [&c] { return RunDelete(c.remove); }; });

    for (const bool redo : {false, true}) {
        CLI::App* command =
            app.add_subcommand(redo ? "redo" : "undo", redo ? "make the last undone change to a card again"
                                                            : "take back the last change made to a card");
        command->footer(
            Footer("The card keeps its last 20 changes (import, delete, pictures removed or moved,\n"
                   "sounds), made here or in the desktop program; the files a change deleted wait\n"
                   "in DCIM/000KAVLO/.K72UNDO/ until it is forgotten. A pad the K-72 or another\n"
                   "program changed since is left alone, with nothing changed.",
                   redo ? "k72-card redo /media/sd" : "k72-card undo /media/sd"));
        AddCard(command, c.undo.card);
        AddJson(command, c.json);
        command->callback([&c, redo] {
            c.undo.redo = redo;
            c.run = [&c] { return RunUndo(c.undo); };
        });
    }
}

// Commands on the list of a still image pad.
void AddListCommands(CLI::App& app, CommandChoice& c) {
    CLI::App* removeStillCommand =
        app.add_subcommand("remove-still", "take one picture off a still image pad");
    removeStillCommand->footer(Footer("Taking the last picture empties the pad.",
                                      "k72-card remove-still /media/sd B-2-1 3 --delete-file"));
    AddCard(removeStillCommand, c.removeStill.card);
    AddPad(removeStillCommand, c.removeStill.pad);
    removeStillCommand->add_option("POSITION", c.removeStill.position, "the picture's position, from 1")
        ->required()
        ->check(CLI::Range(1, 100));
    removeStillCommand->add_flag("--delete-file", c.removeStill.deleteFile,
                                 "delete the picture's file from the card too");
    AddJson(removeStillCommand, c.json);
    removeStillCommand->callback([&c] { c.run = [&c] { return RunRemoveStill(c.removeStill); }; });

    CLI::App* moveStillCommand =
        app.add_subcommand("move-still", "move a picture of a still image pad to another position");
    moveStillCommand->footer(Footer("", "k72-card move-still /media/sd B-2-1 5 1"));
    AddCard(moveStillCommand, c.moveStill.card);
    AddPad(moveStillCommand, c.moveStill.pad);
    moveStillCommand->add_option("FROM", c.moveStill.from, "the picture's position, from 1")
        ->required()
        ->check(CLI::Range(1, 100));
    moveStillCommand->add_option("TO", c.moveStill.to, "its new position, from 1")
        ->required()
        ->check(CLI::Range(1, 100));
    AddJson(moveStillCommand, c.json);
    moveStillCommand->callback([&c] { c.run = [&c] { return RunMoveStill(c.moveStill); }; });
}

// Commands on single files, and the export of a pad's files.
void AddFileCommands(CLI::App& app, CommandChoice& c) {
    CLI::App* exportCommand = app.add_subcommand("export", "copy a pad's files into a folder");
    exportCommand->footer(
        Footer("The movie or pictures and the sound, under their card names. Works on a card the\n"
               "desktop program has open and on a read-only card.",
               "k72-card export /media/sd A-1-1 ~/Exported"));
    AddCard(exportCommand, c.exportPad.card);
    AddPad(exportCommand, c.exportPad.pad);
    exportCommand->add_option("FOLDER", c.exportPad.folder, "an existing folder")->required();
    AddOverwrite(exportCommand, c.exportPad.overwrite);
    AddJson(exportCommand, c.json);
    exportCommand->callback([&c] { c.run = [&c] { return RunExport(c.exportPad); }; });

    CLI::App* pictureCommand =
        app.add_subcommand("convert-picture", "convert a picture into the device's form, no card needed");
    pictureCommand->footer(
        Footer("", "k72-card convert-picture photo.heic K72_0001.JPG --quality 4 --fit crop"));
    pictureCommand
        ->add_option("SOURCE", c.picture.source,
                     "the picture (" + KnownExtensionText(PadKindStill, " ") + ")")
        ->required();
    pictureCommand->add_option("DEST", c.picture.destination, "the JPEG file to write, or a folder")
        ->required();
    AddQuality(pictureCommand, c.picture.settings);
    AddFit(pictureCommand, c.picture.settings);
    AddOverwrite(pictureCommand, c.picture.overwrite);
    AddJson(pictureCommand, c.json);
    pictureCommand->callback([&c] { c.run = [&c] { return RunConvertPicture(c.picture); }; });

    CLI::App* movieCommand =
        app.add_subcommand("convert-movie", "convert a movie into the device's form, no card needed");
    movieCommand->footer(
        Footer("", "k72-card convert-movie clip.mkv converted/ --fps ntsc --deinterlace on"));
    movieCommand
        ->add_option("SOURCE", c.movie.source, "the movie (" + KnownExtensionText(PadKindMovie, " ") + ")")
        ->required();
    movieCommand->add_option("DEST", c.movie.destination, "the AVI file to write, or a folder")->required();
    AddSettings(movieCommand, c.movie.settings);
    AddOverwrite(movieCommand, c.movie.overwrite);
    AddJson(movieCommand, c.json);
    movieCommand->callback([&c] { c.run = [&c] { return RunConvertMovie(c.movie); }; });

    CLI::App* soundCommand =
        app.add_subcommand("convert-sound", "convert a sound into the device's WAV form, no card needed");
    soundCommand->footer(Footer("The device plays PCM, 2 channels, 44100 Hz, 16 bits.",
                                "k72-card convert-sound song.mp3 SONG.WAV"));
    soundCommand
        ->add_option("SOURCE", c.sound.source, "the sound (" + KnownExtensionText(PadKindEmpty, " ") + ")")
        ->required();
    soundCommand->add_option("DEST", c.sound.destination, "the WAV file to write, or a folder")->required();
    AddOverwrite(soundCommand, c.sound.overwrite);
    AddJson(soundCommand, c.json);
    soundCommand->callback([&c] { c.run = [&c] { return RunConvertSound(c.sound); }; });

    CLI::App* previewCommand =
        app.add_subcommand("preview", "a picture or movie as the device will show it, written as a PNG");
    previewCommand->footer(
        Footer("The source goes through the same conversion as an import (turned upright, fitted,\n"
               "640 x 480, the JPEG or MJPEG at the quality) and is decoded back; of a movie, the\n"
               "converted picture at --at seconds.",
               "k72-card preview phone.mp4 look.png --fit letterbox --at 12.5"));
    previewCommand->add_option("SOURCE", c.preview.source, "the picture or movie")->required();
    previewCommand->add_option("OUT", c.preview.destination, "the PNG file to write")->required();
    AddSettings(previewCommand, c.preview.settings);
    previewCommand->add_option("--at", c.preview.at, "a movie's moment, in seconds (default 0)")
        ->check(CLI::NonNegativeNumber)
        ->option_text("SECONDS");
    AddOverwrite(previewCommand, c.preview.overwrite);
    AddJson(previewCommand, c.preview.json);
    previewCommand->callback([&c] { c.run = [&c] { return RunPreview(c.preview); }; });
}

} // namespace

int RunCommandLine(int argc, char** argv) {
    CLI::App app("Fills the pads of a K-72 card from a terminal: imports movies and pictures, attaches\n"
                 "sounds, lists, deletes and exports pads, converts single files. Settings not given on\n"
                 "the command line come from the desktop program's preferences.\n"
                 "Exit status: 0 success, 1 the command failed, 2 bad usage.",
                 "k72-card");
    app.require_subcommand(1, 1);
    app.get_formatter()->column_width(18);
    app.set_version_flag("--version", std::string("k72-card ") + K72_VERSION);
    app.footer("Each command's --help shows an example, e.g. k72-card import --help.");

    CommandChoice choice;
    AddLookingCommands(app, choice);
    AddPadCommands(app, choice);
    AddListCommands(app, choice);
    AddFileCommands(app, choice);
    AddSetCommands(app, choice.set, choice.run,
                   {AddCard, AddSettings, AddJson, [](CLI::App* command, std::string& bank) {
                        command->add_option("--bank", bank, "only this bank, A ... F")->check(kBankValidator);
                    }});

    output::SetJson(AsksForJson(argc, argv));
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        // Help or the version asked for prints it and succeeds; any other parse error is bad usage. With
        // --json either is the one JSON object too.
        if (!output::Json()) {
            return app.exit(error) == 0 ? kExitSuccess : kExitUsage;
        }
        std::ostringstream out;
        std::ostringstream err;
        const int status = app.exit(error, out, err) == 0 ? kExitSuccess : kExitUsage;
        std::fputs(err.str().c_str(), stderr);
        const bool version = error.get_name() == "CallForVersion";
        std::fputs((status == kExitSuccess
                        ? TextJson(version ? "version" : "help", version ? error.what() : out.str())
                        : output::FailureObject(error.what(), std::nullopt))
                       .c_str(),
                   stdout);
        return status;
    }
    if (!choice.run) {
        return kExitUsage;
    }
    const int status = choice.run();
    output::Finish(status);
    return status;
}

} // namespace k72::cli
