/*
 * @test id=find-class
 * @summary Sandrovik hands Java-chosen names to FindClass
 * @library /testkit /fixtures ${jtreg.home}/lib/junit-platform-console-standalone.jar
 * @build zoltest.* SandrovikTest
 * @run driver zoltest.JUnitChild SandrovikTest
 */

/*
 * @test id=define-class
 * @summary Sandrovik hands Java-chosen names to DefineClass, with no class bytes
 * @library /testkit /fixtures ${jtreg.home}/lib/junit-platform-console-standalone.jar
 * @build zoltest.* SandrovikTest
 * @run driver zoltest.JUnitChild SandrovikDefineTest
 */

import static org.junit.jupiter.api.Assertions.assertSame;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import org.junit.jupiter.api.Test;

class SandrovikTest {
    @Test
    void findClassFindsALoadableClass() {
        assertSame(String.class, Sandrovik.callFindClass("java/lang/String"));
        assertSame(Sandrovik.class, Sandrovik.callFindClass("Sandrovik"));
    }

    @Test
    void findClassWithoutANameFails() {
        assertThrows(NoClassDefFoundError.class, () -> Sandrovik.callFindClass(null));
    }

    @Test
    void dottedNameIsNotTranslated() {
        NoClassDefFoundError e = assertThrows(NoClassDefFoundError.class,
                () -> Sandrovik.callFindClass("java.lang.String"));
        assertTrue(e.getMessage().contains("java.lang.String"), e.getMessage());
    }

    @Test
    void repeatedCallsKeepWorking() {
        for (int i = 0; i < 20000; i++) {
            assertSame(Object.class, Sandrovik.callFindClass("java/lang/Object"));
        }
    }
}

/** DefineClass from no class bytes, a test of its own for the JDK that crashes on it (JDK 11). */
class SandrovikDefineTest {
    @Test
    void definitionFromZeroBytesFails() {
        for (String name : new String[] {"Sandrovik0", "a/b/C", "a.b.C", ""}) {
            ClassFormatError e = assertThrows(ClassFormatError.class, () -> Sandrovik.callDefineClass(name), name);
            assertTrue(e.getMessage() != null && !e.getMessage().isEmpty(), name);
        }
    }

    @Test
    void nullNameIsPassedOnToDefineClass() {
        assertThrows(ClassFormatError.class, () -> Sandrovik.callDefineClass(null));
    }
}
