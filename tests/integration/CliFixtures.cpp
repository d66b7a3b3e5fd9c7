// Setup files, scratch folders and detected simulated devices for the tests of the zrvlink program.
#include "CliFixtures.h"

#include "TestFiles.h"

#include "core/ParamFile.h"
#include "portdetect/CommPortDetecter.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

namespace fs = std::filesystem;

CSetupFile::CSetupFile(const ParamSet& set) : m_path(TempFilePath("cli-setup")) {
    CParamFile file;
    *file.GetParam() = set;
    file.Save(m_path.c_str());
}

CSetupFile::CSetupFile(const std::string& text) : m_path(TempFilePath("cli-setup")) {
    std::FILE* file = std::fopen(m_path.c_str(), "wb");
    if (file != nullptr) {
        std::fputs(text.c_str(), file);
        std::fclose(file);
    }
}

CSetupFile::~CSetupFile() {
    std::remove(m_path.c_str());
}

std::string CSetupFile::Text() const {
    return ReadWholeFile(m_path);
}

std::string SaveText(const ParamSet& set) {
    CSetupFile file(set);
    return file.Text();
}

bool CDetectedDevices::StartSim(const std::string& name, const std::vector<std::string>& simArgs) {
    auto sim = std::make_unique<CSimProcess>();
    std::vector<std::string> args = {"--link", m_dev / name};
    args.insert(args.end(), simArgs.begin(), simArgs.end());
    if (!sim->Start(args)) {
        ADD_FAILURE() << sim->Error();
        return false;
    }
    m_current[name] = m_sims.size();
    m_sims.push_back(std::move(sim));
    return true;
}

bool CDetectedDevices::Add(const std::vector<std::string>& names, const std::vector<std::string>& simArgs) {
    for (const std::string& name : names) {
        m_sysfs.AddAcmTty(name, DEVICE_USB_VID, DEVICE_USB_PID);
        if (!StartSim(name, simArgs)) {
            return false;
        }
    }
    return true;
}

bool CDetectedDevices::Plug(const std::string& name, const std::vector<std::string>& simArgs,
                            const std::string& serial) {
    if (!StartSim(name, simArgs)) {
        return false;
    }
    m_sysfs.AddAcmTty(name, DEVICE_USB_VID, DEVICE_USB_PID, serial);
    return true;
}

void CDetectedDevices::Unplug(const std::string& name) {
    m_sysfs.RemoveTty(name);
    SimOf(name).Stop();
}

void CDetectedDevices::AddOther(const std::string& name) {
    m_sysfs.AddAcmTty(name, 0x0403, 0x6001);
}

void CDetectedDevices::AddAlias(const std::string& alias, const std::string& name) {
    m_sysfs.AddAcmTty(alias, DEVICE_USB_VID, DEVICE_USB_PID);
    fs::create_symlink(m_dev / name, m_dev / alias);
}

CliRunOptions CDetectedDevices::Options() const {
    CliRunOptions options;
    options.Environment = {{"ZRVLINK_SYSFS_ROOT", m_sysfs.Root()}, {"ZRVLINK_DEV_ROOT", m_dev.Path()}};
    return options;
}
