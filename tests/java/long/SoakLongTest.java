package zoltest.soak;

import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.Timeout;

@Timeout(900)
class SoakLongTest {
    /** Five minutes on eight threads (opt-in label "long"). */
    @Test
    void eightThreadsForFiveMinutes() {
        Soak.run(300, 8);
    }
}
