// The module is linked whole from the subsystem archive; this file only gives
// the MODULE target a source of its own.
