// zrvlink's commands on one port: each loads, transfers, saves or prints, and ends with an outcome;
// portable (ports and console through their seams).
#include "cli/front/Commands.h"

#include "cli/common/JsonText.h"
#include "cli/common/SetupFiles.h"
#include "cli/common/SetupText.h"
#include "cli/front/CliArgs.h"
#include "cli/front/TransferRunner.h"
#include "cli/parallel/Batch.h"
#include "cli/station/StationSteps.h"
#include "cli/system/Console.h"
#include "cli/system/Interrupt.h"
#include "cli/system/Ports.h"
#include "core/TextParse.h"
#include "devicelink/ParamTransfer.h"
#include "persistence/ExactSetup.h"
#include "persistence/ParamFile.h"

#include <cstdio>
#include <string>

namespace {

const CliOutcome SUCCESS{};

struct DevicePort {
    std::string Name;
    int32_t Number = 0;
};

// The one device a command works with: the port given, else the first one found.
class CDevice {
public:
    explicit CDevice(const CliRequest& request) : m_request(request) {}

    bool Open(CliOutcome* failure) {
        const std::vector<std::string> found = m_request.Ports.empty() ? DetectPortNames() : m_request.Ports;
        if (found.empty()) {
            *failure = Failure(EXIT_NO_DEVICE);
            return false;
        }
        m_port.Name = found.front();
        if (!ResolvePort(m_port.Name, &m_port.Number)) {
            *failure = PortFailure(m_port.Name);
            return false;
        }
        if (!m_runner.Init()) {
            *failure = Failure(EXIT_RESOURCE);
            return false;
        }
        return true;
    }

    CliOutcome Transfer(bool read, ParamSet* set) {
        // The bar would be torn by the trace's lines.
        const bool progress = !m_request.Trace && !m_request.ResultLine && StderrIsTerminal();
        if (m_request.ReportSteps) {
            ReportSteps(read, *set);
        }
        const int exit = m_runner.Run(m_port.Number, read, set, progress);
        m_wrote = m_wrote || !read;
        if (exit == EXIT_PORT) {
            return PortFailure(m_port.Name, m_runner.PortError());
        }
        CliOutcome outcome = exit == EXIT_OK ? SUCCESS : Failure(exit);
        if (exit != EXIT_OK && m_runner.Stopped()) {
            outcome.Lines.front() += ": stopped before the transfer ended";
        }
        return outcome;
    }

    // For the station: the device's answer to "vers" after a read, and the configuration read. The
    // answer may hold line ends: made one printable line, it can never pass for a line of its own.
    void ReportRead(const ParamSet* read) const {
        std::printf("%s%s\n", STEP_VERSION, PrintableLine(m_runner.Version()).c_str());
        if (read != nullptr) {
            const std::string lines = FormatExactSetup(*read, STEP_SETUP);
            std::fwrite(lines.data(), 1, lines.size(), stdout);
        }
        std::fflush(stdout);
    }

    // For the station: the next write tells, before it sends "save", that "save" comes next.
    void ReportSaveNext(const ParamSet& sent) { m_stepsBeforeSave = WriteStepsBeforeSave(sent); }

private:
    // For the station: each step of the next transfer as a progress line; a read after a write verifies.
    void ReportSteps(bool read, const ParamSet& set) {
        m_stage = !read ? PortStage::Writing : m_wrote ? PortStage::Verifying : PortStage::Reading;
        m_stepCount = read ? READ_STEP_COUNT : WriteStepCount(set);
        m_runner.SetStepHook(OnStep, this);
    }

    // On the engine's worker, before the next command is sent. A progress line that is lost costs only
    // the board a step; but "save" goes only once the parent can know it went, so a "save: next" that
    // did not reach stdout ends the transfer here.
    static bool OnStep(int steps, void* context) {
        const auto* self = static_cast<const CDevice*>(context);
        const std::string line = FormatProgressStep(self->m_stage, steps * 100 / self->m_stepCount);
        std::printf("%s\n", line.c_str());
        if (self->m_stage != PortStage::Writing || steps != self->m_stepsBeforeSave) {
            std::fflush(stdout);
            return true;
        }
        return std::printf("%s\n", STEP_SAVE_NEXT) > 0 && FlushStdout();
    }

    const CliRequest& m_request;
    DevicePort m_port;
    CTransferRunner m_runner;
    // Written before each transfer starts; read by the worker.
    int m_stepsBeforeSave = 0;
    PortStage m_stage = PortStage::Reading;
    int m_stepCount = 1;
    // Owner's thread only.
    bool m_wrote = false;
};

bool Load(const std::string& path, CParamFile* file, CliOutcome* failure) {
    return LoadSetupFile(path, file, failure);
}

CliOutcome Save(const std::string& path, CParamFile* file) {
    return SaveSetupFile(path, file);
}

// Text on stdout; an output that takes it not is a save that failed.
CliOutcome Print(const std::string& text) {
    const bool written = std::fwrite(text.data(), 1, text.size(), stdout) == text.size();
    return FlushStdout() && written ? SUCCESS : Failure(EXIT_FILE_SAVE);
}

// The setup file's bytes, with their own CR LF, or the JSON document of the configuration.
CliOutcome PrintSetup(const CliRequest& request, const ParamSet& set) {
    std::string text;
    if (request.Json) {
        return Print(SetupJson(set));
    }
    if (!FormatSetupText(set, &text)) {
        return Failure(EXIT_FILE_SAVE);
    }
    if (const CliOutcome carried = SetupFileCarries(set); carried.Exit != EXIT_OK) {
        return carried;
    }
    UseBinaryStdout();
    return Print(text);
}

CliOutcome ListPorts(const CliRequest& request) {
    if (!request.Long && !request.Json) {
        std::string names;
        for (const std::string& name : DetectPortNames()) {
            names += name + "\n";
        }
        return Print(names);
    }
    const std::vector<PortRecord> records = DetectPortRecords();
    if (request.Json) {
        return Print(PortsJson(records));
    }
    std::string lines;
    for (const PortRecord& record : records) {
        lines += FormatPortRecord(record) + "\n";
    }
    return Print(lines);
}

CliOutcome ReadDevice(const CliRequest& request) {
    CliOutcome outcome;
    CDevice device(request);
    CParamFile scratch;
    if (!device.Open(&outcome)) {
        return outcome;
    }
    outcome = device.Transfer(true, scratch.GetParam());
    if (request.ReportSteps) {
        device.ReportRead(outcome.Exit == EXIT_OK ? scratch.GetParam() : nullptr);
    }
    if (outcome.Exit != EXIT_OK || (request.ReportSteps && request.Output.empty())) {
        return outcome;
    }
    return request.Output.empty() ? PrintSetup(request, *scratch.GetParam()) : Save(request.Output, &scratch);
}

// After "update": what the device holds now against what was sent.
CliOutcome Verify(CDevice* device, const ParamSet& sent) {
    CParamFile readBack;
    CliOutcome outcome = device->Transfer(true, readBack.GetParam());
    if (outcome.Exit != EXIT_OK) {
        return outcome;
    }
    const auto differences = CompareSetups(sent, *readBack.GetParam(), KeysWrittenFrom(sent));
    if (differences.empty()) {
        return SUCCESS;
    }
    outcome = Failure(EXIT_VERIFY);
    for (const SetupDifference& difference : differences) {
        outcome.Lines.push_back(FormatDifference(difference));
    }
    return outcome;
}

// The station's write child takes its unit's configuration from stdin, exactly.
bool LoadUnitToSend(const CliRequest& request, CParamFile* file, CliOutcome* failure) {
    if (!request.ReportSteps || request.Files[0] != STDIN_FILE) {
        return LoadSetupFileToSend(request.Files[0], file, failure);
    }
    std::string text;
    if (!ReadStdin(&text) || !ParseExactSetup(text, file->GetParam())) {
        *failure = Failure(EXIT_FILE_CONTENT);
        failure->Lines.front() += ": the configuration on stdin is not whole";
        return false;
    }
    return true;
}

CliOutcome WriteDevice(const CliRequest& request) {
    CliOutcome outcome;
    CParamFile file;
    CDevice device(request);
    if (!LoadUnitToSend(request, &file, &outcome) || !device.Open(&outcome)) {
        return outcome;
    }
    if (!request.Backup.empty()) {
        CParamFile backup;
        if ((outcome = device.Transfer(true, backup.GetParam())).Exit != EXIT_OK ||
            (outcome = Save(request.Backup, &backup)).Exit != EXIT_OK) {
            return outcome;
        }
    }
    // The engine disables, in the set it sends, the destinations at the device's own address.
    ParamSet sent = *file.GetParam();
    if (request.ReportSteps) {
        device.ReportSaveNext(sent);
    }
    outcome = device.Transfer(false, &sent);
    if (outcome.Exit != EXIT_OK) {
        return outcome;
    }
    return request.Verify ? Verify(&device, sent) : SUCCESS;
}

CliOutcome CheckFile(const CliRequest& request) {
    CliOutcome outcome;
    CParamFile file;
    return Load(request.Files[0], &file, &outcome) ? PrintSetup(request, *file.GetParam()) : outcome;
}

CliOutcome DiffSetups(const CliRequest& request) {
    CliOutcome outcome;
    CParamFile left;
    CParamFile right;
    if (!Load(request.Files[0], &left, &outcome)) {
        return outcome;
    }
    if (request.Files.size() > 1) {
        if (!Load(request.Files[1], &right, &outcome)) {
            return outcome;
        }
    } else {
        CDevice device(request);
        if (!device.Open(&outcome) || (outcome = device.Transfer(true, right.GetParam())).Exit != EXIT_OK) {
            return outcome;
        }
    }
    const auto differences = CompareSetups(*left.GetParam(), *right.GetParam(), EveryKey());
    std::string text = request.Json ? DifferencesJson(differences) : "";
    for (std::size_t i = 0; !request.Json && i < differences.size(); ++i) {
        text += FormatDifference(differences[i]) + "\n";
    }
    if ((outcome = Print(text)).Exit != EXIT_OK) {
        return outcome;
    }
    return CliOutcome{differences.empty() ? EXIT_OK : EXIT_DIFFERENT, {}};
}

// One port's transfer ends between two commands when asked to (its parent's stop, SIGTERM); several ports
// are a child process each.
CliOutcome OnOnePort(const CliRequest& request, CliOutcome (*run)(const CliRequest& request)) {
    if (IsParallel(request)) {
        return RunParallel(request);
    }
    CatchStopRequest();
    return run(request);
}

} // namespace

CliOutcome RunPorts(const CliRequest& request) {
    return OnOnePort(request, ListPorts);
}

CliOutcome RunRead(const CliRequest& request) {
    return OnOnePort(request, ReadDevice);
}

CliOutcome RunWrite(const CliRequest& request) {
    return OnOnePort(request, WriteDevice);
}

CliOutcome RunCheck(const CliRequest& request) {
    return OnOnePort(request, CheckFile);
}

CliOutcome RunDiff(const CliRequest& request) {
    return OnOnePort(request, DiffSetups);
}
