#pragma once
// The services the program hands its plugins (sdk/hostservices.h): the one
// wait of core/utility.h with the shell's watch window. One object for the
// life of the process.
class HostServices;

HostServices* programservices();
