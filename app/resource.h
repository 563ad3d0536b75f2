// Identifiers shared by the program and its resource script.
#pragma once

#define IDI_APPLICATION_ICON 1
