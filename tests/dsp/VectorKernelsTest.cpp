#include "TestSignals.h"
#include "ZGain.h"
#include "ZGainAccelerate.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace vesk;

namespace
{
std::unique_ptr<ZBuffer> bufferOf (std::initializer_list<float> values)
{
    auto buffer = std::make_unique<ZBuffer> ((int) values.size(), "b");
    std::copy (values.begin(), values.end(), buffer->getData());
    return buffer;
}

struct Kernels : public ::testing::Test
{
    ZGainAccelerate accelerated;
    ZGain plain;
};
} // namespace

TEST_F (Kernels, PowerToDecibelsHasEachVariantsFloor)
{
    auto a = bufferOf ({ 0.0f, 1.0f, 100.0f });
    accelerated.powerToDecibels (a.get());
    EXPECT_FLOAT_EQ (a->getData()[0], -200.0f);
    EXPECT_FLOAT_EQ (a->getData()[1], 0.0f);
    EXPECT_FLOAT_EQ (a->getData()[2], 20.0f);

    auto p = bufferOf ({ 0.0f, 1.0f, 100.0f });
    plain.powerToDecibels (p.get());
    EXPECT_EQ (p->getData()[0], -96.0f);
    EXPECT_FLOAT_EQ (p->getData()[1], 0.0f);
    EXPECT_FLOAT_EQ (p->getData()[2], 20.0f);
}

TEST_F (Kernels, PowerToDecibelsFloorAddsTheFloorPowerOnlyWhenAccelerated)
{
    auto a = bufferOf ({ 0.0f, 1e-13f, 1.0f });
    accelerated.powerToDecibelsFloor (a.get(), -120.0f);
    EXPECT_NEAR (a->getData()[0], -120.0f, 1e-4f);
    EXPECT_NEAR (a->getData()[1], 10.0 * std::log10 (1.1e-12), 1e-3);
    EXPECT_NEAR (a->getData()[2], 0.0f, 1e-6f);

    auto p = bufferOf ({ 0.0f, 1e-13f, 1.0f });
    plain.powerToDecibelsFloor (p.get(), -120.0f);
    EXPECT_EQ (p->getData()[0], -120.0f);
    EXPECT_EQ (p->getData()[1], -120.0f);
    EXPECT_NEAR (p->getData()[2], 0.0f, 1e-6f);
}

TEST_F (Kernels, RampsRunFromFirstToLastGain)
{
    for (ZGain* kernels : { (ZGain*) &accelerated, &plain })
    {
        auto ones = bufferOf ({ 1, 1, 1, 1, 1 });
        kernels->scaleRamp (ones.get(), 0.0f, 1.0f);
        const float expected[] = { 0.0f, 0.25f, 0.5f, 0.75f, 1.0f };

        for (int i = 0; i < 5; ++i)
            EXPECT_EQ (ones->getData()[i], expected[i]) << kernels->getName();

        auto single = bufferOf ({ 2.0f });
        kernels->scaleRamp (single.get(), 0.5f, 9.0f);
        EXPECT_EQ (single->getData()[0], 1.0f) << kernels->getName();

        auto source = bufferOf ({ 4, 4, 4 });
        auto destination = bufferOf ({ 0, 0, 0 });
        kernels->scaleRampTo (source.get(), destination.get(), 1.0f, 0.0f);
        EXPECT_EQ (destination->getData()[0], 4.0f);
        EXPECT_EQ (destination->getData()[1], 2.0f);
        EXPECT_EQ (destination->getData()[2], 0.0f);
    }
}

TEST_F (Kernels, AcceleratedRampIsCachedUntilLengthOrGainsChange)
{
    auto a = bufferOf ({ 1, 1, 1, 1 });
    accelerated.scaleRamp (a.get(), 0.0f, 3.0f);
    const auto* cached = accelerated.getRamp();
    EXPECT_EQ (accelerated.getRampLength(), 4u);

    auto b = bufferOf ({ 1, 1, 1, 1 });
    accelerated.scaleRamp (b.get(), 0.0f, 3.0f);
    EXPECT_EQ (accelerated.getRamp(), cached);
    EXPECT_EQ (b->getData()[3], 3.0f);

    auto c = bufferOf ({ 1, 1, 1, 1 });
    accelerated.scaleRamp (c.get(), 0.0f, 6.0f);
    EXPECT_EQ (accelerated.getRamp(), cached);
    EXPECT_EQ (c->getData()[2], 4.0f);
    EXPECT_EQ (c->getData()[3], 6.0f);

    auto d = bufferOf ({ 1, 1 });
    accelerated.scaleRamp (d.get(), 0.0f, 6.0f);
    EXPECT_EQ (accelerated.getRampLength(), 2u);
    EXPECT_EQ (d->getData()[1], 6.0f);
}

TEST_F (Kernels, ElementKernelsMatchTheirFormulas)
{
    ZBuffer x (37, "x"), y (37, "y"), d (37, "d"), expected (37, "e");
    tavlin::test::fillNoise (x, 1);
    tavlin::test::fillNoise (y, 2);

    for (ZGain* kernels : { (ZGain*) &accelerated, &plain })
    {
        tavlin::test::fillNoise (d, 3);
        expected.copyFrom (d);
        kernels->scaleAddTo (&x, &d, 0.5f);
        for (int i = 0; i < 37; ++i)
            EXPECT_EQ (d.getData()[i], expected.getData()[i] + x.getData()[i] * 0.5f);

        kernels->multiplyAddTo (&x, &y, &d);
        for (int i = 0; i < 37; ++i)
            EXPECT_EQ (d.getData()[i],
                       (expected.getData()[i] + x.getData()[i] * 0.5f) + x.getData()[i] * y.getData()[i]);

        kernels->multiplyTo (&x, &y, &d);
        for (int i = 0; i < 37; ++i)
            EXPECT_EQ (d.getData()[i], x.getData()[i] * y.getData()[i]);

        kernels->scaleTo (&x, &d, -3.0f);
        for (int i = 0; i < 37; ++i)
            EXPECT_EQ (d.getData()[i], x.getData()[i] * -3.0f);

        d.copyFrom (x);
        kernels->multiply (&d, &y);
        kernels->scale (&d, 2.0f);
        for (int i = 0; i < 37; ++i)
            EXPECT_EQ (d.getData()[i], x.getData()[i] * y.getData()[i] * 2.0f);
    }
}

TEST_F (Kernels, ComplexMultiplyAllowsOutputsToAliasInputs)
{
    for (ZGain* kernels : { (ZGain*) &accelerated, &plain })
    {
        auto aRe = bufferOf ({ 1, 2, -3 });
        auto aIm = bufferOf ({ 0.5f, -1, 4 });
        auto bRe = bufferOf ({ 3, 0, 2 });
        auto bIm = bufferOf ({ -2, 1, 0.25f });
        const std::complex<float> expected[] = { { 1, 0.5f }, { 2, -1 }, { -3, 4 } };
        const std::complex<float> factor[] = { { 3, -2 }, { 0, 1 }, { 2, 0.25f } };

        kernels->complexMultiply (aRe.get(), aIm.get(), bRe.get(), bIm.get(), aRe.get(), aIm.get());

        for (int i = 0; i < 3; ++i)
        {
            auto product = expected[i] * factor[i];
            EXPECT_FLOAT_EQ (aRe->getData()[i], product.real()) << kernels->getName();
            EXPECT_FLOAT_EQ (aIm->getData()[i], product.imag()) << kernels->getName();
        }
    }
}

TEST_F (Kernels, ScaleAddAtTouchesOnlyItsWindow)
{
    auto source = bufferOf ({ 1, 2, 3, 4 });
    ZBuffer destination (8, "d");
    std::fill_n (destination.getData(), 8, 10.0f);

    accelerated.scaleAddAt (source.get(), &destination, 2, 1.0f);
    const float expected[] = { 10, 10, 11, 12, 13, 14, 10, 10 };

    for (int i = 0; i < 8; ++i)
        EXPECT_EQ (destination.getData()[i], expected[i]);
}

TEST_F (Kernels, PlainProductsFlushTinyResults)
{
    auto tiny = bufferOf ({ 1e-30f });
    auto out = bufferOf ({ 5.0f });
    plain.scaleTo (tiny.get(), out.get(), 1e-10f);
    EXPECT_EQ (out->getData()[0], 0.0f);
    EXPECT_FALSE (std::signbit (out->getData()[0]));

    plain.scale (tiny.get(), 1e-10f);
    EXPECT_EQ (tiny->getData()[0], 1e-30f * 1e-10f);
    EXPECT_NE (tiny->getData()[0], 0.0f);

    auto tiny2 = bufferOf ({ 1e-30f });
    accelerated.scaleTo (tiny2.get(), out.get(), 1e-10f);
    EXPECT_EQ (out->getData()[0], 1e-30f * 1e-10f);
}
