// Quivane.dll's entry points and class factory, called as COM calls them.
#include "TestSupport.h"
#include "platform/ServerClasses.h"

#include <gtest/gtest.h>

#include <shobjidl.h>
#include <thumbcache.h>

using namespace Quivane;
using namespace QuivaneTest;

namespace {

using GetClassObject = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
using CanUnloadNow = HRESULT(WINAPI*)();

template <typename T>
T Export(const char* name) {
    return ServerExport<T>(QuivaneServer(), name);
}

} // namespace

TEST(ComServer, ClassObjectsForBothClassesOnly) {
    const auto get = Export<GetClassObject>("DllGetClassObject");
    ASSERT_NE(get, nullptr);
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(get(CLSID_NULL, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(get(CLSID_QuivanePreviewHandler, IID_IClassFactory, nullptr), E_POINTER);
    for (const CLSID& clsid : {CLSID_QuivanePreviewHandler, CLSID_QuivaneThumbnailProvider}) {
        ComPtr<IUnknown> unknown;
        EXPECT_EQ(get(clsid, IID_IUnknown, reinterpret_cast<void**>(unknown.GetAddressOf())), S_OK);
        ComPtr<IClassFactory> factory;
        EXPECT_EQ(unknown.As(&factory), S_OK);
        out = reinterpret_cast<void*>(1);
        EXPECT_EQ(get(clsid, IID_IStream, &out), E_NOINTERFACE);
        EXPECT_EQ(out, nullptr);
    }
}

TEST(ComServer, FactoryCreatesEachClassAndRefusesAggregation) {
    const auto get = Export<GetClassObject>("DllGetClassObject");
    ComPtr<IClassFactory> previews, thumbnails;
    ASSERT_EQ(get(CLSID_QuivanePreviewHandler, IID_IClassFactory, reinterpret_cast<void**>(previews.GetAddressOf())), S_OK);
    ASSERT_EQ(get(CLSID_QuivaneThumbnailProvider, IID_IClassFactory, reinterpret_cast<void**>(thumbnails.GetAddressOf())),
              S_OK);
    ComPtr<IPreviewHandler> preview;
    EXPECT_EQ(previews->CreateInstance(nullptr, IID_IPreviewHandler, reinterpret_cast<void**>(preview.GetAddressOf())), S_OK);
    ComPtr<IThumbnailProvider> thumbnail;
    EXPECT_EQ(thumbnails->CreateInstance(nullptr, __uuidof(IThumbnailProvider),
                                         reinterpret_cast<void**>(thumbnail.GetAddressOf())),
              S_OK);
    ComPtr<IInitializeWithStream> init;
    EXPECT_EQ(thumbnail.As(&init), S_OK);

    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(previews->CreateInstance(nullptr, __uuidof(IThumbnailProvider), &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(thumbnails->CreateInstance(nullptr, IID_IPreviewHandler, &out), E_NOINTERFACE);
    EXPECT_EQ(previews->CreateInstance(preview.Get(), IID_IUnknown, &out), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(thumbnails->CreateInstance(preview.Get(), IID_IUnknown, &out), CLASS_E_NOAGGREGATION);
}

// Each object, factory and server lock keeps the library; once the last is
// gone COM may unload it. Every test here gives back what it took, so this
// holds in any order and alone.
TEST(ComServer, AsksToBeUnloadedOnlyOnceNothingHoldsIt) {
    const auto canUnload = Export<CanUnloadNow>("DllCanUnloadNow");
    const auto get = Export<GetClassObject>("DllGetClassObject");
    ASSERT_NE(canUnload, nullptr);
    ASSERT_NE(get, nullptr);
    EXPECT_EQ(canUnload(), S_OK);
    {
        ComPtr<IClassFactory> factory;
        ASSERT_EQ(get(CLSID_QuivanePreviewHandler, IID_IClassFactory, reinterpret_cast<void**>(factory.GetAddressOf())),
                  S_OK);
        EXPECT_EQ(canUnload(), S_FALSE);
        EXPECT_EQ(factory->LockServer(TRUE), S_OK);
        EXPECT_EQ(factory->LockServer(TRUE), S_OK);
        ComPtr<IPreviewHandler> preview;
        ASSERT_EQ(factory->CreateInstance(nullptr, IID_IPreviewHandler, reinterpret_cast<void**>(preview.GetAddressOf())),
                  S_OK);
        factory.Reset();
        EXPECT_EQ(canUnload(), S_FALSE); // two locks and an object
        preview.Reset();
        EXPECT_EQ(canUnload(), S_FALSE); // two locks
        ASSERT_EQ(get(CLSID_QuivaneThumbnailProvider, IID_IClassFactory, reinterpret_cast<void**>(factory.GetAddressOf())),
                  S_OK);
        EXPECT_EQ(factory->LockServer(FALSE), S_OK);
        EXPECT_EQ(factory->LockServer(FALSE), S_OK);
        EXPECT_EQ(canUnload(), S_FALSE); // the factory itself
        // An unlock with no lock taken releases nothing the factory holds.
        EXPECT_EQ(factory->LockServer(FALSE), E_UNEXPECTED);
        EXPECT_EQ(canUnload(), S_FALSE);
    }
    EXPECT_EQ(canUnload(), S_OK);
}
