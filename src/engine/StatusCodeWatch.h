#pragma once
// Tells the operator which status codes each running MFC reports, once when the set changes and
// once when it empties. The worker writes setpoints whatever the codes (a code such as TMF or LCK
// stays on a healthy controller until someone clears it), so the codes are worth knowing but not
// worth a line every second. A worker cannot write the log pane, so the main thread reads the
// codes from each worker's last status. Main thread only.
#include "mfc/AlicatData.h"
#include "registry/Orvello_DeviceInfo.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

class TMFCThread;

// "Status codes from COM3 - Set 1 MFC A: TMF (Totalizer missed ...)", every code present with
// its description, in code order.
std::string StatusCodesLine(const std::string& port, const std::string& name, TAlicatErrors codes);
// "Status codes cleared on COM3 - Set 1 MFC A".
std::string StatusCodesClearedLine(const std::string& port, const std::string& name);

class TStatusCodeWatch {
public:
    // Looks at every MFC whose worker runs; log receives a line for each one whose codes
    // differ from those it reported last. A new worker starts with none.
    // The codes that appear go to warn when one is given (the operator must not miss them);
    // the clearing always goes to log.
    void Check(const std::vector<TDeviceInfo>& devices,
               const std::function<void(const std::string&)>& log,
               const std::function<void(const std::string&)>& warn = {});

private:
    struct TSeen {
        const TMFCThread* Worker = nullptr;
        TAlicatErrors Codes;
    };
    std::map<std::string, TSeen> seen_;
};
