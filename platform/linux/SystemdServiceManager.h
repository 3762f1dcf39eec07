#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "platform/ServiceManager.h"

namespace vr {

// Where systemd keeps what the service manager needs; tests point it elsewhere.
struct SystemdLayout {
    std::filesystem::path unitDirectory = "/etc/systemd/system";
    // Exists only while systemd runs as the system's service manager.
    std::filesystem::path runtimeDirectory = "/run/systemd/system";
    // Program that reloads systemd and enables or disables units, looked up in PATH.
    std::string systemctl = "systemctl";
};

// Services as systemd units: registering writes "<name>.service" into the unit directory,
// reloads systemd and enables the unit; removing disables it and deletes the file.
class SystemdServiceManager final : public ServiceManager {
public:
    // Throws ServiceManagerUnavailable when systemd is not running or the unit directory is not
    // a directory.
    explicit SystemdServiceManager(SystemdLayout layout);

    void CreateService(const ServiceRegistration& service) override;
    void DeleteService(std::string_view name) override;

    // The unit file's text for a service: the unit template, which the package's unit is made
    // of too, with the service's name and executable filled in.
    static std::string UnitText(const ServiceRegistration& service);

private:
    std::filesystem::path UnitPath(std::string_view name) const;
    void Systemctl(std::initializer_list<std::string> arguments) const;

    SystemdLayout layout_;
};

}  // namespace vr
