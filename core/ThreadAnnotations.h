#pragma once
// Clang's thread-safety analysis (-Wthread-safety) checks at compile time that a
// guarded field is only touched with its lock held. Other compilers see nothing.

#if defined(__clang__)
#define ZEL_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define ZEL_THREAD_ANNOTATION(x)
#endif

// A type that is a lock.
#define CAPABILITY(x) ZEL_THREAD_ANNOTATION(capability(x))
// An object that holds a lock from its construction to its destruction.
#define SCOPED_CAPABILITY ZEL_THREAD_ANNOTATION(scoped_lockable)
// A field read and written only with the given lock held.
#define GUARDED_BY(x) ZEL_THREAD_ANNOTATION(guarded_by(x))
// A pointer whose target is read and written only with the given lock held.
#define PT_GUARDED_BY(x) ZEL_THREAD_ANNOTATION(pt_guarded_by(x))
// A function that must be called with the given locks held.
#define REQUIRES(...) ZEL_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
// A function that takes the given locks (or, on a lock type, itself) and keeps them.
#define ACQUIRE(...) ZEL_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
// A function that releases the given locks (or, on a lock type, itself).
#define RELEASE(...) ZEL_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
// A function that must be called without the given locks (it takes them itself).
#define EXCLUDES(...) ZEL_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
// A function that returns the given lock.
#define RETURN_CAPABILITY(x) ZEL_THREAD_ANNOTATION(lock_returned(x))
// Leaves a function out of the analysis: for what it cannot follow, said why beside it.
#define NO_THREAD_SAFETY_ANALYSIS ZEL_THREAD_ANNOTATION(no_thread_safety_analysis)
