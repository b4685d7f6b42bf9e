#pragma once
// The bash completion of kestrovamail, made from the option table when the program is built
// (packaging/ installs it): every option, and for an option's argument what its kind offers.

#include <string>

std::string BashCompletionScript();
