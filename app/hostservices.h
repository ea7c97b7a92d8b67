#pragma once
// The services the program hands its plugins (sdk/hostservices.h): the one
// wait of core/utility.h with the shell's watch window. One object for the
// life of the process.
class BinRuns;
class HostServices;

HostServices* programservices();
// The runs of bins (sdk/binruns.h) over the slot Buffers' callbacks.
BinRuns* programbinruns();
