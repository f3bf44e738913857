// The files that contribute steps to the scenario language, one line each:
//     QA_STEP_MODULE(function, "heading for --list-steps")
// A new file of src/sim defines `void function(scn::StepTable&)`, which adds its steps, and
// gets its line here; the parser and the runner need no change. (A list rather than
// self-registering objects: qa_scenario is a static library, and the linker drops members
// that nothing references.)
//
// No include guard: this file is included once to declare and once to call the functions.
QA_STEP_MODULE(registerMachineSteps, "machine set-up")
QA_STEP_MODULE(registerProgramSteps, "the program")
QA_STEP_MODULE(registerWindowSteps, "windows and messages")
QA_STEP_MODULE(registerModalSteps, "message boxes and the user")
QA_STEP_MODULE(registerTimeSteps, "time")
QA_STEP_MODULE(registerRegistrySteps, "registry")
QA_STEP_MODULE(registerLogSteps, "diagnostic log")
QA_STEP_MODULE(registerTraySteps, "notification area")
QA_STEP_MODULE(registerDeviceSteps, "device notifications")
QA_STEP_MODULE(registerTransmitterSteps, "the transmitter")
QA_STEP_MODULE(registerPlayerSteps, "media players")
QA_STEP_MODULE(registerAudioSteps, "audio devices")
QA_STEP_MODULE(registerRoutingSteps, "playback routing")
QA_STEP_MODULE(registerMenuSteps, "the tray menu")
QA_STEP_MODULE(registerAboutSteps, "the About dialog")
QA_STEP_MODULE(registerSettingsSteps, "the settings and their dialogs")
QA_STEP_MODULE(registerHandleSteps, "long runs and the objects the program holds")
