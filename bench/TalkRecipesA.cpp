#include "TalkRecipes.h"

namespace {

using P = TalkPicture;

// Half A: a lecture on rivers over slides; an interview at a market over
// music; a fast talk on clocks in a hall. Voices en-us, en+m3, en+f2,
// en-gb-x-rp; the pictures and the pedestrians' clip of half A's videos.
TalkRecipe lectureA() {
    return {
        "lecture-a",
        'A',
        TalkKind::Slides,
        {{"en-us", 155, 175}},
        {{0, "Good morning, and thank you all for coming to this talk about rivers."},
         {0, "Over the next few minutes we will follow a single drop of water from the "
             "mountains all the way down to the sea."},
         {0, "Rivers begin as small streams, fed by rain, melting snow and springs that rise "
             "from the ground."},
         {0, "Where the slope is steep, the water moves quickly and carries stones along its "
             "bed."},
         {0, "Further down, the valley widens, the current slows, and the river starts to "
             "wander from side to side."},
         {0, "These loops are called meanders, and they change their shape a little every "
             "year."},
         {0,
          "If you look closely at the map on the left, you can follow the old course of the river "
          "by the line of trees and the shape of the fields, long after the water left it."},
         {0, "You can see how the outer bank is worn away while sand builds up on the inner "
             "bank."},
         {0, "But the same floods that bring the soil can also destroy a harvest in a single "
             "night."},
         {0, "A river in flood can rise by several metres in a day, and the water that spreads "
             "over the plain slows down, drops its fine mud, and leaves the fertile soil behind."},
         {0, "That is why so many towns built walls, dikes and channels to keep the water in "
             "its place."},
         {0, "Straightening rivers was popular for a long time, because it drained the land "
             "quickly, but it also sent floods downstream faster and destroyed the quiet "
             "backwaters where fish sheltered."},
         {0, "Now, here is a short question for you to think about while I change the slide."},
         {0, "Why do rivers so rarely run in a straight line, even across a flat plain?"},
         {0, "Faster water wears the bank away, slower water drops what it carries, and the "
             "bend grows deeper."},
         {0, "Near the coast, the river meets the tide, and fresh water mixes slowly with "
             "salt water."},
         {0, "This mixing zone is called an estuary, and it is one of the richest places for "
             "wildlife on the planet."},
         {0, "The mud a river carries is not only a nuisance for harbours, it also builds the "
             "deltas and beaches that protect the coast from storms."},
         {0, "Engineers use floating markers, sound waves and even satellites to estimate how "
             "much water passes each second."},
         {0, "When I first went out with a team of surveyors, we spent a whole week in the rain "
             "measuring a stretch of river barely two kilometres long, and I never forgot how "
             "patient that work is."},
         {0, "To sum up, a river is not just water in a channel, it is a system that shapes "
             "the land around it."},
         {0, "Thank you very much, and I am happy to take a few questions now."}},
        {{P::Slide, "aero1.jpg", "Rivers from source to sea",
          "A talk in three parts|Source "
          "- valley - estuary"},
         {P::Slide, "graf1.png", "Where streams begin",
          "Rain and melting snow|Springs and "
          "steep slopes"},
         {P::Slide, "squirrel_cls.jpg", "Meanders",
          "The outer bank wears away|Sand on the "
          "inner bank"},
         {P::Slide, "building.jpg", "Living beside a river",
          "Rich soil and floods|Walls and "
          "dikes and channels"},
         {P::Slide, "baboon.jpg", "A question", "Why not a straight line|Think about it"},
         {P::Slide, "HappyFish.jpg", "Estuaries",
          "Fresh water meets the tide|Birds and "
          "fish"},
         {P::Slide, "smarties.png", "Measuring flow", "Floats and sound waves|Satellites"},
         {P::Slide, "chicky_512.png", "Summary",
          "A system not a channel|Next - living with "
          "floods"}},
        {0, 1, 2, 3, 2, 4, 5, 6, 1, 7},
        false,
        false,
        0x5eed0001};
}

TalkRecipe interviewA() {
    return {
        "interview-a",
        'A',
        TalkKind::Dialogue,
        {{"en+m3", 150, 170}, {"en+f2", 160, 180}},
        {{0, "Welcome back to the programme, today we are walking through the old market "
             "with a local guide."},
         {0, "So tell me, how long has this market been here on the square?"},
         {1, "People have been trading on this square for at least four hundred years."},
         {0, "And what do people come here to buy these days, apart from the coffee?"},
         {1, "Mostly fresh food, cheese, bread and vegetables from the farms around the "
             "town."},
         {1, "In the autumn, when the apples and the mushrooms come in, the whole square smells of "
             "fruit, and people queue for an hour at the cider stall before it opens."},
         {0, "I noticed a lot of people carrying baskets instead of plastic bags."},
         {1, "Yes, that started a few years ago, when the town decided to ban plastic bags on "
             "market days."},
         {0, "Interesting, and who are the people running all these stalls?"},
         {1, "The oldest of them, the cheese seller by the church, still keeps a handwritten book "
             "of every customer who owes him money, and he says nobody has ever failed to pay."},
         {0, "Let us walk over to the fountain, I think there is something happening there."},
         {1, "That is the weekly music group, they play here every morning when the weather "
             "is fine."},
         {1, "They started as three friends from the music school, and now there are nine of them, "
             "with a drummer who is well over eighty years old and never misses a morning."},
         {0, "Do they get paid for playing here every week, or is it just for fun?"},
         {1, "Not by the town, but people leave coins in the hat, and the bakery gives them "
             "breakfast."},
         {0, "It sounds like the market is a lot more than a place to shop."},
         {1, "Exactly, for many older people it is the main reason to leave the house and "
             "meet their friends."},
         {1, "Some of them come every single day, even when they do not need to buy anything "
             "at all."},
         {0, "I can see that, there is an old gentleman over there who has said good morning to "
             "every single person who walked past him since we arrived."},
         {1, "Still, every time someone predicts that the market will close, more young people "
             "turn up with a new idea, a stall of homemade soap, or fresh pasta, or old records."},
         {0, "What would you say to someone who is visiting for the first time?"},
         {1, "Come early, bring cash, and do not be afraid to ask the traders for a taste "
             "before you buy."},
         {0, "Thank you very much for showing us around the market this morning."},
         {1, "It was a pleasure, come back in the summer when the fruit is in season."}},
        {{P::Clip, "pedestrians"},
         {P::Still, "messi5.jpg"},
         {P::Still, "smarties.png"},
         {P::Still, "HappyFish.jpg"},
         {P::Still, "building.jpg"},
         {P::Still, "butterfly.jpg"},
         {P::Still, "Blender_Suzanne1.jpg"}},
        {2, 3, 4, 5, 6},
        false,
        true,
        0x5eed0002};
}

TalkRecipe hallA() {
    return {
        "hall-a",
        'A',
        TalkKind::Hall,
        {{"en-gb-x-rp", 190, 210}},
        {{0, "Ladies and gentlemen, welcome to the great hall, and thank you for your "
             "patience."},
         {0, "Tonight's lecture is about the long history of measuring time, from shadows to "
             "atoms."},
         {0, "For thousands of years, people told the time by watching the sun move across "
             "the sky."},
         {0, "Sundials worked well on clear days, but they were useless at night and under "
             "clouds."},
         {0, "Water clocks solved part of that problem, letting water drip from one bowl into "
             "another at a steady rate."},
         {0, "The first mechanical clocks appeared in the towers of churches about seven "
             "hundred years ago."},
         {0, "These early machines could lose or gain a quarter of an hour in a single day."},
         {0, "Keepers of those tower clocks climbed up every day to wind the heavy weights, oil "
             "the gears and set the hands by a sundial in the square below, whatever the weather."},
         {0, "The pendulum changed everything, because a swinging weight keeps a remarkably "
             "regular beat."},
         {0, "Sailors, however, needed something even better, because their lives depended "
             "on it."},
         {0, "To find their position at sea, they had to know the exact time at their home "
             "port."},
         {0,
          "A mistake of only a few minutes in the time could put a ship many miles off its course, "
          "and many were wrecked on coasts their captains believed were still far away."},
         {0, "A clock that worked on a rolling ship, through heat and cold, took decades to "
             "build."},
         {0, "Railways brought the next change, because trains needed every town to agree on "
             "the time."},
         {0, "Before that, each town kept its own local time, set by the sun at noon."},
         {0, "A traveller going from one city to the next had to set his watch again and again, "
             "and the timetables printed at each station listed several different times for the "
             "same train."},
         {0, "In the last century, quartz crystals made accurate watches cheap enough for "
             "everyone."},
         {0,
          "A quartz crystal, cut to the right shape and given a small electric current, vibrates "
          "thousands of times a second, and a tiny circuit simply counts those vibrations."},
         {0, "Today, atomic clocks keep time so precisely that they would lose less than a "
             "second in millions of years."},
         {0,
          "Without that precision, the satellites that tell your phone where you are would drift "
          "by several kilometres in a single day, and the maps on our screens would be useless."},
         {0, "So, the next time you glance at your wrist, remember the long road that led to "
             "that small number."},
         {0, "We have a few minutes left, so let me show you some of the instruments from our "
             "collection."},
         {0, "This one, on the left, was made by hand in a small workshop more than two "
             "centuries ago."},
         {0, "The maker signed it on the inside of the back plate, where only a repairer would "
             "ever see it, together with the date and the name of the town where he worked."},
         {0, "Thank you all for listening, and please enjoy the rest of the exhibition."},
         {0, "The doors will stay open until nine o'clock this evening, so take your time."}},
        {{P::Still, "graf1.png"},
         {P::Source, "mandelbrot=s=640x360:r=25,hue=s=0.5"},
         {P::Still, "aero1.jpg"},
         {P::Still, "Blender_Suzanne1.jpg"},
         {P::Source, "gradients=s=640x360:r=25:type=circular:speed=0.02:nb_colors=4:c0="
                     "0x3060a0:c1=0xa0c040:c2=0xe08030:c3=0x6040a0:x0=320:y0=180:x1=600:y1="
                     "60"},
         {P::Still, "baboon.jpg"},
         {P::Still, "chicky_512.png"},
         {P::Still, "squirrel_cls.jpg"}},
        {0, 1, 2, 3, 4, 0, 5, 6, 7, 2},
        true,
        false,
        0x5eed0003};
}

} // namespace

std::vector<TalkRecipe> halfATalks() {
    return {lectureA(), interviewA(), hallA()};
}
