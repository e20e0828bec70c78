#pragma once

namespace vorn {

class I_Dialogs;
class I_VornDevice;

// The checks and questions before anything destroys a medium's data, shared by the
// test run and the capacity check so both refuse and ask alike. Each shows its own
// box and answers false when the press stops there; nothing has been written then.

// A medium is present and the drive is removable.
bool mediumAccepted(I_VornDevice& device, I_Dialogs& dialogs);
// Nothing forbids writing the drive, writing is armed, and the user agrees to lose
// the medium's data (and its files, when it holds any).
bool confirmWriteTest(I_VornDevice& device, I_Dialogs& dialogs);
// The same for the capacity check alone, asked in its own words with the drive named.
bool confirmCapacityCheck(I_VornDevice& device, I_Dialogs& dialogs);
// The medium's file systems come off and the drive is taken for this process alone.
// `purpose` names what takes it in the refusal ("the write test", "the capacity check").
bool claimDeviceForWrite(I_VornDevice& device, I_Dialogs& dialogs,
                         const char* purpose = "the write test");

}  // namespace vorn
