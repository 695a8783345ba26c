#include "comm/CommPort.h"

namespace vm {

std::string FormatPortWarning(std::string_view call, std::string_view systemText, std::string_view portName)
{
    std::string text = "WARNING:  ";
    text += call;
    text += " Failed with the following error: \n";
    text += systemText;
    text += "\nPort: ";
    text += portName;
    text += "\n";
    return text;
}

}  // namespace vm
