public class Smoke_Sandrovik implements zoltest.SmokeScenario {
    /** JDK 11's VM crashes in DefineClass from no bytes (SandrovikTest is problem-listed there). */
    private static final boolean DEFINE = Runtime.version().feature() > 11;

    public String loadedBy() {
        return "class Sandrovik";
    }

    public String scenario() {
        return DEFINE ? "FindClass of String, DefineClass from no bytes"
                : "FindClass of String (DefineClass crashes JDK 11)";
    }

    public void run() {
        if (Sandrovik.callFindClass("java/lang/String") != String.class) {
            throw new AssertionError("FindClass did not give String.class");
        }
        if (!DEFINE) {
            return;
        }
        try {
            Sandrovik.callDefineClass("Smoke0");
            throw new AssertionError("DefineClass from no bytes gave a class");
        } catch (ClassFormatError expected) {
            // The JVM's error for an empty definition.
        }
    }
}
