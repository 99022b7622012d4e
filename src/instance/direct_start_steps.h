#pragma once
// The preparation that direct startup of the player needs, one step per check or repair, in the
// order "Abrir agora" and the direct-player migration run them. Each step writes its own log line
// on failure and returns false. The table is process-wide so that a test on a machine that
// cannot do one of them (a processor without the Microsoft hypervisor, say) can put a step of
// its own in its place; the product never changes it.

#include <functional>

namespace vellmora {

class InstallerEngine;

struct DirectStartSteps {
  using Step = std::function<bool(InstallerEngine&)>;
  Step verify_player_theme;
  Step remove_owned_driver_services;
  Step remove_obsolete_runtimes;  // "Runtime" in the data directory, ".vellmora_runtime" in the install directory
  Step prepare_host_config;
  Step configure_virtualization_backend;  // on the live data directory
  Step ensure_com_registration;           // repair when the private registration is incomplete
  Step register_com_components;           // a full registration pass
  Step secure_program_files_root;
  Step remove_compatibility_launcher;
  Step create_product_shortcuts;
};

// The real steps.
DirectStartSteps DefaultDirectStartSteps();
// The steps in use, DefaultDirectStartSteps() until a test replaces some.
DirectStartSteps& DirectStartStepsInUse();

}  // namespace vellmora
