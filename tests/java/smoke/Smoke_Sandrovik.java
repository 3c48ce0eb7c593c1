public class Smoke_Sandrovik implements zoltest.SmokeScenario {
    public String loadedBy() {
        return "class Sandrovik";
    }

    public String scenario() {
        return "FindClass of String, DefineClass from no bytes";
    }

    public void run() {
        if (Sandrovik.callFindClass("java/lang/String") != String.class) {
            throw new AssertionError("FindClass did not give String.class");
        }
        try {
            Sandrovik.callDefineClass("Smoke0");
            throw new AssertionError("DefineClass from no bytes gave a class");
        } catch (ClassFormatError expected) {
            // The JVM's error for an empty definition.
        }
    }
}
