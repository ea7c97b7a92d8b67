#pragma once
// What a tool tells the host beyond the result of process, in properties of
// its plugin object, so that ToolInterface keeps the layout the plugins were
// built against. The host reads them on the window's thread only; a tool that
// sets none is served as before.
//
//   "strokenote"  QString  why the stroke that this call ended did nothing,
//                          in plain words ("no noise is registered"); empty
//                          for every other call. The host shows it once, in
//                          a box titled with the tool's name, after the call
//                          that ends the stroke. A tool whose calls run off
//                          the window's thread declares it with Q_PROPERTY on
//                          a member, so that no event crosses threads.
//   "ownspresses" bool     while true, every press in a view starts a stroke
//                          of the tool: the time cursor takes no press near
//                          its line or the view's edges. Set on the window's
//                          thread.
inline constexpr const char* toolstrokenote = "strokenote";
inline constexpr const char* toolownspresses = "ownspresses";
