// The layer rules: unlock thresholds, the drop after three misses, and the
// multiplier, as the logic tick applies them.
#include "GameFixture.h"

namespace {

class Layers : public GameFixture {
protected:
    void addStems(int count) {
        for (int i = 0; i < count; ++i) addStem({}, 10.0, i == 0);
    }
    void tick() { game.updateProgress(audio); }
    void hit() {
        game.combo += 1;
        game.misses = 0;
    }
};

TEST_F(Layers, UnlockThresholdsGrowWithTheLayerCount) {
    addStems(8);
    std::vector<int32_t> unlockedAt;
    for (int i = 0; i < 150; ++i) {
        hit();
        const int32_t before = game.layers;
        tick();
        if (game.layers != before) unlockedAt.push_back(game.combo);
    }
    EXPECT_EQ(unlockedAt, (std::vector<int32_t>{5, 15, 30, 50, 75, 105, 140}));
    EXPECT_EQ(game.highestLayer, 8);
}

TEST_F(Layers, AComboThatJumpsAThresholdStartsTheNextStepFromWhereItGot) {
    addStems(4);
    game.combo = 8;
    tick();
    EXPECT_EQ(game.layers, 2);
    EXPECT_EQ(game.comboAtLastUnlock, 8);
    game.combo = 17;
    tick();
    EXPECT_EQ(game.layers, 2) << "needs 10 more than 8";
    game.combo = 18;
    tick();
    EXPECT_EQ(game.layers, 3);
}

TEST_F(Layers, ThreeStemsNeverGiveMoreThanThreeLayers) {
    addStems(3);
    for (int i = 0; i < 60; ++i) {
        hit();
        tick();
    }
    EXPECT_EQ(game.layers, 3);
    EXPECT_EQ(game.comboAtLastUnlock, 60) << "still follows the combo";
}

TEST_F(Layers, NoUnlockWhileEveryStemIsActiveOrFading) {
    addStems(3);
    audio.stems[1].active = true;
    audio.stems[2].fading = true;
    game.combo            = 5;
    tick();
    EXPECT_EQ(game.layers, 1);
    EXPECT_EQ(game.comboAtLastUnlock, 5);
}

TEST_F(Layers, ThirdMissDropsTheNewestStemWithinOneTick) {
    addStems(3);
    for (Stem& stem : audio.stems) stem.active = true;
    game.layers       = 3;
    const auto output = capture([&] {
        for (int i = 0; i < 3; ++i) game.registerMiss();
        tick();
    });
    EXPECT_EQ(game.layers, 2);
    EXPECT_EQ(game.misses, 0);
    EXPECT_FALSE(audio.stems[2].active);
    EXPECT_TRUE(inOrder(output.out,
                        {"Miss registered (3/3)", "Deactivated stem: stem2.wav", "Deactivated stem 3/3 (stem2.wav)"}));
}

TEST_F(Layers, AHitBetweenMissesResetsTheCount) {
    addStems(2);
    for (Stem& stem : audio.stems) stem.active = true;
    game.layers = 2;
    game.registerMiss();
    game.registerMiss();
    hit();
    tick();
    game.registerMiss();
    game.registerMiss();
    tick();
    EXPECT_EQ(game.layers, 2);
    EXPECT_EQ(game.misses, 2);
}

TEST_F(Layers, OneLayerIsNeverDroppedAndMissesKeepCounting) {
    addStems(2);
    const auto output = capture([&] {
        for (int i = 0; i < 4; ++i) {
            game.registerMiss();
            tick();
        }
    });
    EXPECT_EQ(game.layers, 1);
    EXPECT_NE(output.out.find("Miss registered (4/3)"), std::string::npos);
    EXPECT_EQ(output.out.find("Deactivated stem"), std::string::npos);
}

TEST_F(Layers, UnlockAndDropInOneTickUnlockFirst) {
    addStems(3);
    game.combo  = 5;
    game.misses = 3;
    tick();
    EXPECT_EQ(game.highestLayer, 2);
    EXPECT_EQ(game.layers, 1);
    EXPECT_EQ(game.misses, 0);
}

TEST_F(Layers, MultiplierFollowsComboAndLayers) {
    addStems(3);
    for (const auto& [combo, layers, expected] :
         {std::tuple{0, 1, 1.0f}, std::tuple{25, 3, 10.5f}, std::tuple{10, 2, 4.0f}}) {
        game.combo             = combo;
        game.comboAtLastUnlock = combo;  // no unlock in this tick
        game.layers            = layers;
        tick();
        EXPECT_FLOAT_EQ(game.multiplier, expected) << combo << " x " << layers;
    }
}

TEST_F(Layers, NothingChangesOutsideARun) {
    addStems(3);
    game.inGame = false;
    game.combo  = 25;
    game.misses = 5;
    game.layers = 2;
    tick();
    EXPECT_EQ(game.layers, 2);
    EXPECT_EQ(game.misses, 5);
    EXPECT_EQ(game.multiplier, 1.0f);
}

}  // namespace
