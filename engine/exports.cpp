// The DLL's two exports and the eight slot functions of the interface
// table. Every entry point stops exceptions here: nothing thrown inside the
// engine may cross into the caller, which is not even built with the same
// compiler necessarily.
#include <windows.h>

#include <new>

#include "engine/fetch_contract.h"
#include "engine/fetch_engine.h"

namespace {

using fetch::Engine;
using fetch::FetchEngine;
using fetch::Request;
using fetch::Result;

template <class F>
int32_t Guard(Engine* self, F&& body) noexcept {
  try {
    FetchEngine* engine = FetchEngine::From(self);
    return engine ? body(engine) : fetch::kBadArgument;
  } catch (...) {
    return fetch::kInternal;
  }
}

int32_t KV_FETCH_CALL QueryEarlier(Engine* self, const Request* request, Result* result) {
  return Guard(self, [&](FetchEngine* e) { return e->QueryEarlier(request, result); });
}
int32_t KV_FETCH_CALL CheckStatus(Engine* self, const Request* request, Result* result) {
  return Guard(self, [&](FetchEngine* e) { return e->CheckStatus(request, result); });
}
int32_t KV_FETCH_CALL ShutDown(Engine* self) {
  return Guard(self, [&](FetchEngine* e) { return e->ShutDown(); });
}
int32_t KV_FETCH_CALL Start(Engine* self, const Request* request) {
  return Guard(self, [&](FetchEngine* e) { return e->Start(request); });
}
int32_t KV_FETCH_CALL Unused(Engine* self) {
  return Guard(self, [&](FetchEngine*) { return fetch::kNotStarted; });
}
int32_t KV_FETCH_CALL Pause(Engine* self) {
  return Guard(self, [&](FetchEngine* e) { return e->Pause(); });
}
int32_t KV_FETCH_CALL Resume(Engine* self) {
  return Guard(self, [&](FetchEngine* e) { return e->Resume(); });
}
int32_t KV_FETCH_CALL QueryProgress(Engine* self, Result* result) {
  return Guard(self, [&](FetchEngine* e) { return e->QueryProgress(result); });
}

const fetch::EngineTable kTable = {
    &QueryEarlier, &CheckStatus, &ShutDown, &Start, &Unused, &Pause, &Resume, &QueryProgress,
};

}  // namespace

extern "C" __declspec(dllexport) Engine* KV_FETCH_CALL GetInstance() noexcept {
  try {
    auto* engine = new (std::nothrow) FetchEngine();
    if (engine) engine->table = &kTable;
    return engine;
  } catch (...) {
    return nullptr;
  }
}

extern "C" __declspec(dllexport) void KV_FETCH_CALL Release(Engine* engine) noexcept {
  try {
    delete FetchEngine::From(engine);
  } catch (...) {
    // Nothing sensible left to do for an engine that failed to end.
  }
}
