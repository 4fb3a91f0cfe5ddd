#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/com/connection_point.h"
#include "platform/com/dispatch.h"
#include "platform/com/guid.h"
#include "platform/com/unknown.h"

namespace ss {
namespace {

TEST(Guid, ParsesAndFormatsRoundTrip) {
  GUID g{};
  ASSERT_EQ(GuidFromString("{1fba04ee-3024-11d2-8F1F-0000F87ABD16}", &g), S_OK);
  EXPECT_EQ(g.Data1, 0x1FBA04EEu);
  EXPECT_EQ(g.Data2, 0x3024u);
  EXPECT_EQ(g.Data3, 0x11D2u);
  EXPECT_EQ(g.Data4[0], 0x8F);
  EXPECT_EQ(g.Data4[7], 0x16);
  EXPECT_EQ(GuidToString(g), "{1FBA04EE-3024-11D2-8F1F-0000F87ABD16}");
  constexpr GUID fixed = MakeGuid("{1FBA04EE-3024-11D2-8F1F-0000F87ABD16}");
  EXPECT_EQ(fixed, g);
  EXPECT_EQ(MakeGuid("1FBA04EE-3024-11D2-8F1F-0000F87ABD16"), g);
  EXPECT_NE(g, GUID_NULL);
}

TEST(Guid, RejectsMalformedTexts) {
  const char* bad[] = {
      "",
      "1FBA04EE-3024-11D2-8F1F-0000F87ABD16",     // braces are required
      "{1FBA04EE-3024-11D2-8F1F-0000F87ABD1}",    // one digit short
      "{1FBA04EE-3024-11D2-8F1F-0000F87ABD166}",  // one digit long
      "{1FBA04EE-3024-11D2-8F1F+0000F87ABD16}",   // wrong separator
      "{1FBA04EG-3024-11D2-8F1F-0000F87ABD16}",   // not hex
      "(1FBA04EE-3024-11D2-8F1F-0000F87ABD16)",
  };
  for (const char* text : bad) {
    GUID g = MakeGuid("{00000000-0000-0000-0000-000000000001}");
    EXPECT_EQ(GuidFromString(text, &g), CO_E_CLASSSTRING) << text;
    EXPECT_EQ(g, MakeGuid("{00000000-0000-0000-0000-000000000001}")) << "output untouched for " << text;
  }
  EXPECT_EQ(GuidFromString("{1FBA04EE-3024-11D2-8F1F-0000F87ABD16}", nullptr), E_POINTER);
}

// Two interfaces on one base chain plus one unrelated interface.
class IAnimal : public IUnknown {
 public:
  using Base = IUnknown;
  static constexpr IID iid = MakeGuid("{11111111-0000-0000-0000-000000000001}");
  virtual int Legs() = 0;
};
class IDog : public IAnimal {
 public:
  using Base = IAnimal;
  static constexpr IID iid = MakeGuid("{11111111-0000-0000-0000-000000000002}");
  virtual std::string Bark() = 0;
};
class IOwner : public IUnknown {
 public:
  using Base = IUnknown;
  static constexpr IID iid = MakeGuid("{11111111-0000-0000-0000-000000000003}");
  virtual std::string Name() = 0;
};
class INever : public IUnknown {
 public:
  using Base = IUnknown;
  static constexpr IID iid = MakeGuid("{11111111-0000-0000-0000-000000000004}");
};

class Dog : public ComObject<IDog, IOwner> {
 public:
  explicit Dog(int* alive) : alive_(alive) { ++*alive_; }
  ~Dog() override { --*alive_; }
  int Legs() override { return 4; }
  std::string Bark() override { return "woof"; }
  std::string Name() override { return "owner"; }

 private:
  int* alive_;
};

TEST(ComObject, AnswersListedInterfacesAndTheirBasesWithOneIdentity) {
  int alive = 0;
  {
    ComPtr<IDog> dog = MakeCom<Dog>(&alive);
    ASSERT_TRUE(dog);
    EXPECT_EQ(alive, 1);

    ComPtr<IAnimal> animal;
    ASSERT_EQ(dog.As(&animal), S_OK);
    EXPECT_EQ(animal->Legs(), 4);
    ComPtr<IOwner> owner;
    ASSERT_EQ(animal.As(&owner), S_OK);
    EXPECT_EQ(owner->Name(), "owner");

    // The IUnknown reached from any interface is the same pointer.
    ComPtr<IUnknown> u1, u2;
    ASSERT_EQ(dog.As(&u1), S_OK);
    ASSERT_EQ(owner.As(&u2), S_OK);
    EXPECT_EQ(u1.Get(), u2.Get());

    ComPtr<INever> never;
    EXPECT_EQ(dog.As(&never), E_NOINTERFACE);
    EXPECT_FALSE(never);
    EXPECT_EQ(dog->QueryInterface(IDog::iid, nullptr), E_POINTER);
  }
  EXPECT_EQ(alive, 0) << "every reference released destroys the object";
}

TEST(ComPtr, CountsReferencesThroughCopyMoveAttachAndDetach) {
  int alive = 0;
  ComPtr<IDog> a = MakeCom<Dog>(&alive);
  {
    ComPtr<IDog> b = a;            // 2
    ComPtr<IDog> c = std::move(b); // still 2
    EXPECT_FALSE(b);
    EXPECT_EQ(c->AddRef(), 3u);
    c->Release();
  }
  IDog* raw = a.Detach();  // the reference now belongs to `raw`
  EXPECT_FALSE(a);
  EXPECT_EQ(alive, 1);
  ComPtr<IAnimal> base = ComPtr<IDog>::Adopt(raw);
  EXPECT_EQ(alive, 1);
  base = nullptr;
  EXPECT_EQ(alive, 0);
}

// A sink that records DocumentComplete-style calls and may unadvise itself.
class RecordingSink : public ComObject<IDispatch> {
 public:
  HRESULT GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT GetIDsOfNames(REFIID, const char16_t* const* names, UINT count, LCID, DISPID* ids) override {
    return LookupDispIds({{u"Ping", 7}, {u"DocumentComplete", 259}}, names, count, ids);
  }
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                 UINT*) override {
    calls.push_back(id);
    if (params && params->cArgs > 0 && params->rgvarg[0].vt() == VT_BSTR) texts.push_back(params->rgvarg[0].bstrVal());
    if (unadviseFrom) unadviseFrom->Unadvise(cookie);
    if (result) *result = VARIANT::Long(42);
    return S_OK;
  }
  std::vector<DISPID> calls;
  std::vector<std::u16string> texts;
  ConnectionPoint* unadviseFrom = nullptr;
  DWORD cookie = 0;
};

const IID kEvents = MakeGuid("{22222222-0000-0000-0000-000000000001}");

class Source : public ComObject<IConnectionPointContainer> {
 public:
  Source() : point_(MakeCom<ConnectionPoint>(kEvents, this)) {}
  ~Source() override { point_->Detach(); }
  HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** point) override {
    if (!point) return E_POINTER;
    *point = nullptr;
    if (riid != kEvents) return CONNECT_E_NOCONNECTION;
    *point = point_.Get();
    point_->AddRef();
    return S_OK;
  }
  ComPtr<ConnectionPoint> point_;
};

TEST(ConnectionPoint, AdviseFireAndUnadviseByCookie) {
  auto source = MakeCom<Source>();
  ComPtr<IConnectionPoint> cp;
  EXPECT_EQ(source->FindConnectionPoint(MakeGuid("{22222222-0000-0000-0000-000000000009}"), cp.ReleaseAndGetAddressOf()),
            CONNECT_E_NOCONNECTION);
  ASSERT_EQ(source->FindConnectionPoint(kEvents, cp.ReleaseAndGetAddressOf()), S_OK);
  IID iid{};
  ASSERT_EQ(cp->GetConnectionInterface(&iid), S_OK);
  EXPECT_EQ(iid, kEvents);

  auto first = MakeCom<RecordingSink>();
  auto second = MakeCom<RecordingSink>();
  DWORD c1 = 0, c2 = 0;
  ASSERT_EQ(cp->Advise(static_cast<IDispatch*>(first.Get()), &c1), S_OK);
  ASSERT_EQ(cp->Advise(static_cast<IDispatch*>(second.Get()), &c2), S_OK);
  EXPECT_NE(c1, 0u);
  EXPECT_NE(c1, c2);

  VARIANT arg = VARIANT::String(u"file:///a.html");
  DISPPARAMS params;
  params.rgvarg = &arg;
  params.cArgs = 1;
  source->point_->Fire(259, &params);
  EXPECT_EQ(first->calls, std::vector<DISPID>{259});
  EXPECT_EQ(second->calls, std::vector<DISPID>{259});
  EXPECT_EQ(first->texts, std::vector<std::u16string>{u"file:///a.html"});

  ASSERT_EQ(cp->Unadvise(c1), S_OK);
  EXPECT_EQ(cp->Unadvise(c1), CONNECT_E_NOCONNECTION) << "a cookie works once";
  EXPECT_EQ(cp->Unadvise(12345), CONNECT_E_NOCONNECTION);
  source->point_->Fire(259, &params);
  EXPECT_EQ(first->calls.size(), 1u);
  EXPECT_EQ(second->calls.size(), 2u);

  // A new advise never reuses an old cookie.
  DWORD c3 = 0;
  ASSERT_EQ(cp->Advise(static_cast<IDispatch*>(first.Get()), &c3), S_OK);
  EXPECT_NE(c3, c1);
  EXPECT_NE(c3, c2);
}

TEST(ConnectionPoint, SinkMayUnadviseDuringTheEventAndReferencesAreReleased) {
  auto source = MakeCom<Source>();
  auto sink = MakeCom<RecordingSink>();
  DWORD cookie = 0;
  ASSERT_EQ(source->point_->Advise(static_cast<IDispatch*>(sink.Get()), &cookie), S_OK);
  sink->AddRef();
  EXPECT_EQ(sink->Release(), 2u) << "the connection point holds a reference to the sink";
  sink->unadviseFrom = source->point_.Get();
  sink->cookie = cookie;
  source->point_->Fire(259, nullptr);
  source->point_->Fire(259, nullptr);
  EXPECT_EQ(sink->calls.size(), 1u);
  EXPECT_EQ(source->point_->SinkCount(), 0u);
  sink->AddRef();
  EXPECT_EQ(sink->Release(), 1u) << "unadvise released the sink";
}

TEST(ConnectionPoint, RejectsSinksWithoutDispatchAndNullArguments) {
  auto source = MakeCom<Source>();
  int alive = 0;
  auto dog = MakeCom<Dog>(&alive);
  DWORD cookie = 99;
  EXPECT_EQ(source->point_->Advise(static_cast<IDog*>(dog.Get()), &cookie), CONNECT_E_CANNOTCONNECT);
  EXPECT_EQ(cookie, 0u);
  EXPECT_EQ(source->point_->Advise(nullptr, &cookie), E_POINTER);
  ComPtr<IConnectionPointContainer> back;
  ASSERT_EQ(source->point_->GetConnectionPointContainer(back.ReleaseAndGetAddressOf()), S_OK);
  EXPECT_EQ(static_cast<void*>(back.Get()), static_cast<void*>(static_cast<IConnectionPointContainer*>(source.Get())));
}

TEST(Dispatch, NamesAreCaseInsensitiveAndUnknownNamesReported) {
  auto sink = MakeCom<RecordingSink>();
  DISPID id = 0;
  ASSERT_EQ(GetDispId(sink.Get(), u"documentcomplete", &id), S_OK);
  EXPECT_EQ(id, 259);
  EXPECT_EQ(GetDispId(sink.Get(), u"NoSuchMember", &id), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(id, DISPID_UNKNOWN);

  const char16_t* names[] = {u"PING", u"missing"};
  DISPID ids[2] = {0, 0};
  EXPECT_EQ(sink->GetIDsOfNames(GUID_NULL, names, 2, 0, ids), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(ids[0], 7);
  EXPECT_EQ(ids[1], DISPID_UNKNOWN);

  VARIANT result;
  ASSERT_EQ(InvokeMethod(sink.Get(), 7, {VARIANT::Long(1), VARIANT::String(u"last")}, &result), S_OK);
  EXPECT_EQ(result.vt(), VT_I4);
  EXPECT_EQ(result.lVal(), 42);
  // rgvarg[0] is the last argument.
  EXPECT_EQ(sink->texts, std::vector<std::u16string>{u"last"});
}

TEST(Variant, CopiesHoldTheirOwnReferences) {
  auto sink = MakeCom<RecordingSink>();
  {
    VARIANT v = VARIANT::Dispatch(sink.Get());
    VARIANT copy = v;
    EXPECT_EQ(copy.pdispVal(), static_cast<IDispatch*>(sink.Get()));
    sink->AddRef();
    EXPECT_EQ(sink->Release(), 3u);
    VARIANT moved = std::move(v);
    EXPECT_EQ(v.vt(), VT_EMPTY);
    copy = VARIANT::Short(-5);
    EXPECT_EQ(copy.iVal(), -5);
    sink->AddRef();
    EXPECT_EQ(sink->Release(), 2u);
  }
  sink->AddRef();
  EXPECT_EQ(sink->Release(), 1u);
  EXPECT_TRUE(VARIANT::Null().IsEmptyOrNull());
  EXPECT_FALSE(VARIANT::String(u"").IsEmptyOrNull());
  EXPECT_EQ(VARIANT::Bool(true).boolVal(), VARIANT_TRUE);
}

}  // namespace
}  // namespace ss
