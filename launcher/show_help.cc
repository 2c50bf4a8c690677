#include "launcher/show_help.h"

#include "launcher/report_message.h"

namespace launcher {

void ShowHelp(Context& context) {
  ReportPlainBox(context, u"Service Pack Switches",
                 u"(none)\tpatch every installed product the service pack is for\n"
                 u"/q\tquiet: no message box and no installer dialog; no restart by the installer itself\n"
                 u"/norestart\tno restart by the installer itself; a restart it needs gives exit code 3010 or 1641\n"
                 u"/e <path>\twrite the patch package to <path>, or with no path to a temporary file\n"
                 u"/p <path>\tappend the patch-information texts to the patch-list file <path>\n"
                 u"/i\tshow the product codes the service pack is for\n"
                 u"/l <path>\talso log every outcome to <path>\n"
                 u"/?\tshow this list");
}

}  // namespace launcher
