#include "TalkRecipes.h"

namespace {

using P = TalkPicture;

// Half B: a lecture on bees over slides and music; a conversation on a
// train journey; a fast talk on lighthouses in a hall. Voices en-gb,
// en-gb-scotland, en+f4, en+m5; the pictures and the tree's, the
// dinner's and the glasses' clips of half B's videos.
TalkRecipe lectureB() {
    return {
        "lecture-b",
        'B',
        TalkKind::Slides,
        {{"en-gb", 165, 185}},
        {{0, "Hello everyone, today I would like to talk about bees and the gardens they "
             "depend on."},
         {0, "Most people think of honey bees, but there are thousands of other kinds of bees "
             "in the world."},
         {0, "Some of these solitary bees are so small that you could mistake them for flies, and "
             "some are fussy eaters that will only visit a single kind of flower in their whole "
             "short lives."},
         {0, "On this first slide you can see a map of the places where wild bees have been "
             "counted."},
         {0, "The numbers have fallen in many regions, especially where large fields grow a "
             "single crop."},
         {0, "When a farm grows only one plant, there is a feast for a short time and then "
             "nothing at all."},
         {0, "Hedges, field margins and rough corners full of weeds used to fill those gaps, but "
             "many of them have been cleared to make room for bigger machines and bigger fields."},
         {0, "Gardens in towns can help a great deal, if they are planted with a little "
             "care."},
         {0, "Crocuses and willows in spring, then fruit trees, then herbs like thyme and "
             "lavender."},
         {0, "If you only remember one thing from this talk, let it be this, a garden that flowers "
             "from March to October feeds far more bees than one that is spectacular for a single "
             "month."},
         {0, "Another thing that bees need is water, especially on hot summer days."},
         {0, "Let me show you a photograph that was taken in a school garden last summer."},
         {0, "The children planted a strip of wild flowers along the fence, and counted the "
             "visitors every week."},
         {0, "By August, they had recorded more than twenty different kinds of bees and "
             "hoverflies."},
         {0, "They also learned to tell the bees apart by the colour of the hair on their backs, "
             "and some of the older pupils now run a small counting club with the children of the "
             "next village."},
         {0, "Pesticides are the next topic, and I am afraid they are a difficult one."},
         {0, "Some of them harm bees even at very small doses, by confusing their sense of "
             "direction."},
         {0, "Many towns have now stopped spraying their parks, and the results are already "
             "visible."},
         {0,
          "In one city, the road verges were simply left to grow for a summer, and within two "
          "years the number of bees counted along them had more than doubled, at almost no cost."},
         {0, "So what can each of us do about it, starting this very weekend?"},
         {0, "Leave a corner of the lawn uncut, plant something that flowers late, and skip "
             "the spray."},
         {0, "The last slide has a list of books and websites, if you want to learn more."},
         {0, "Thank you for your attention, and good luck with your gardens this year."}},
        {{P::Slide, "fruits.jpg", "Bees and gardens",
          "Wild bees and honey bees|What "
          "gardens can do"},
         {P::Slide, "aero3.jpg", "Where bees were counted",
          "Fewer in large fields|More "
          "near hedges"},
         {P::Slide, "apple.jpg", "Flowers all year",
          "Spring - summer - autumn|Ivy late in "
          "the season"},
         {P::Slide, "orange.jpg", "Water", "A shallow dish|A few stones"},
         {P::Slide, "home.jpg", "A school garden",
          "A strip of wild flowers|Twenty kinds "
          "of visitors"},
         {P::Slide, "board.jpg", "Pesticides", "Harm at small doses|Lost on the way home"},
         {P::Slide, "starry_night.jpg", "What you can do",
          "Leave a corner uncut|Skip the "
          "spray"},
         {P::Slide, "stuff.jpg", "Further reading", "Books|Websites"}},
        {0, 1, 2, 3, 2, 4, 5, 6, 1, 7},
        false,
        true,
        0x5eed0004};
}

TalkRecipe interviewB() {
    return {
        "interview-b",
        'B',
        TalkKind::Dialogue,
        {{"en-gb-scotland", 150, 170}, {"en+f4", 165, 185}},
        {{0, "Good afternoon, and welcome to our weekly conversation about travel."},
         {0, "My guest today has just come back from a long journey by train across the "
             "mountains."},
         {1, "Thank you, it is nice to be back, although I already miss the views."},
         {0, "So why did you choose the train instead of flying, which is so much quicker?"},
         {1, "Partly to save carbon, but mostly because I wanted to see the landscape change "
             "slowly."},
         {1, "Somewhere in the second day, the flat farmland gave way to hills, then forests, then "
             "the first snow on the peaks, and I realised I had not looked at my phone for hours."},
         {0, "And how long did the whole trip take, from door to door?"},
         {1, "Nine days in total, with four long days on the train and a few stops to rest."},
         {0, "That sounds like a very tiring way to spend a holiday, if you ask me."},
         {1, "Not really, the seats were comfortable, and the dining car served surprisingly "
             "good soup."},
         {1, "By the third night I had learned to wedge my coat against the wall, and the sound of "
             "the wheels on the rails became almost comforting, like rain on a roof."},
         {0, "Did you meet many other travellers on the way, or did you keep to yourself?"},
         {1, "Many, an old couple going to visit their grandchildren, a group of students, "
             "and a man carrying a violin."},
         {1, "Nobody in the carriage spoke the same language, but we all knew the tune he played "
             "last, and by the end half the passengers were singing along, badly but happily."},
         {0, "And what was the most beautiful part of the whole route, in your opinion?"},
         {1, "The pass near the border, where the track climbs through tunnels and over high "
             "bridges."},
         {0, "I have seen photographs of that bridge, it looks terrifying, I am not sure I could "
             "have kept my eyes open while the train was crossing it."},
         {0, "Were there any problems along the way, delays or lost luggage?"},
         {1, "A rock fall closed the line for a few hours, so we waited at a small station "
             "with one cafe."},
         {0, "Do you have any practical advice for people planning a trip like yours?"},
         {1, "Book early, pack light, and bring a good book for the long stretches across the "
             "plains."},
         {1, "And talk to the people around you, because the conversations you have on a long "
             "train are the part of the journey you will remember longest, long after the views "
             "have faded."},
         {0, "Thank you so much for sharing your story with us today, it was a real pleasure."},
         {1, "My pleasure, and I hope that some of your listeners will try it."}},
        {{P::Clip, "dinner"},
         {P::Clip, "glasses"},
         {P::Clip, "tree"},
         {P::Still, "leuvenA.jpg"},
         {P::Still, "rubberwhale1.png"},
         {P::Still, "aero3.jpg"},
         {P::Still, "starry_night.jpg"}},
        {2, 3, 4, 5, 6},
        false,
        false,
        0x5eed0005};
}

TalkRecipe hallB() {
    return {
        "hall-b",
        'B',
        TalkKind::Hall,
        {{"en+m5", 190, 210}},
        {{0,
          "Good evening, and welcome to this talk in the old harbour hall, on such a windy night."},
         {0, "Tonight we will talk about lighthouses, and the people who kept them burning "
             "through the night."},
         {0, "For most of history, sailors had only the stars and the shape of the coast to "
             "guide them."},
         {0, "The first lighthouses were simply fires lit on hilltops near dangerous rocks."},
         {0, "Keeping a fire alight all night, in wind and rain, was hard and lonely work."},
         {0, "On some rocky islands there was no wood at all, so every log and every sack of coal "
             "had to be brought across the water by boat, even in the middle of winter."},
         {0, "The keepers carried wood or coal up hundreds of steps, several times every "
             "night."},
         {0, "The great improvement came with glass lenses, shaped in rings, that bent the "
             "light into a narrow beam."},
         {0, "A lamp with such a lens could be seen more than twenty miles away on a clear "
             "night."},
         {0, "The lenses were so valuable that keepers were told to draw curtains across them in "
             "daytime, because the sun shining through the glass could set fire to the lamp room."},
         {0, "Each lighthouse was given its own pattern of flashes, so that sailors could "
             "tell them apart."},
         {0, "Families often lived at the lighthouse, and children grew up on tiny islands "
             "with no neighbours."},
         {0, "The children were taught at home by their parents, and on fine days they rowed to "
             "the mainland for school, a trip that could take an hour each way against the tide."},
         {0, "Supplies came by boat once a week, if the weather allowed it, and sometimes not at "
             "all."},
         {0, "Some keepers kept diaries, and those diaries are now an important record of "
             "storms and shipwrecks."},
         {0, "One of them describes a night when a ship ran aground right below the tower, and the "
             "keeper and his daughter rowed out through the waves and brought nine sailors back "
             "alive."},
         {0, "In the twentieth century, electric lamps and automatic switches made the "
             "keepers unnecessary."},
         {0, "Today, satellites guide most ships, but lighthouses are still kept running as "
             "a backup."},
         {0, "Ships still lose power, electronics still fail in storms, and on such a night a "
             "light on the rocks is worth more than any screen on the bridge of a ship."},
         {0, "If you stay in one, you can climb the tower at night and watch the beam sweep "
             "across the water."},
         {0, "Some visitors say that the sound of the wind around the tower at night is the "
             "loudest silence they have ever heard, and they come back year after year for it."},
         {0, "Before I finish, I want to read a short passage from one of those diaries."},
         {0, "The wind has not stopped for three days, the boat did not come, and we are down "
             "to our last sack of flour."},
         {0, "Still, the light has not failed once, and that is what matters most."},
         {0, "Thank you all for coming, and please mind the steps on your way out."}},
        {{P::Still, "leuvenA.jpg"},
         {P::Source, "mandelbrot=s=640x360:r=25:start_x=-1.25066:start_y=0.02012:start_scale="
                     "0.1,hue=s=0.5"},
         {P::Still, "board.jpg"},
         {P::Clip, "tree"},
         {P::Still, "stuff.jpg"},
         {P::Source, "gradients=s=640x360:r=25:type=spiral:speed=0.01:nb_colors=4:c0="
                     "0x204080:c1=0xd0a040:c2=0x40a060:c3=0xa03050:x0=240:y0=150:x1=500:y1="
                     "300"},
         {P::Still, "basketball1.png"},
         {P::Still, "fruits.jpg"}},
        {0, 1, 2, 3, 4, 0, 5, 6, 7, 2},
        true,
        false,
        0x5eed0006};
}

} // namespace

std::vector<TalkRecipe> halfBTalks() {
    return {lectureB(), interviewB(), hallB()};
}
